#pragma once

#include <cstdint>

#include "common/fixed_constants.h"
#include "common/store_limits.h"

// The ratio of harmonic number `harmonic` detuned by one draw's remainder
// (0 .. 2 * bound): (1000 + remainder - bound) per mille of the harmonic.
inline float detunedRatio(std::int32_t remainder, std::int32_t bound, std::int32_t harmonic) {
  const std::int32_t perMille = (1000 + remainder - bound) * harmonic;
  return static_cast<float>(static_cast<double>(perMille) * kPerMille);
}

// ratio[p][h] = detunedRatio(next() % (2 * bound + 1), bound, h + 1) for
// every used cell, harmonics outer and points inner, exactly as one draw
// after another would give them; the generator ends where those draws leave
// it. `bound` is 1..kMaxDetunePerMille.
void fillDetunedRatios(float (*ratio)[kMaxHarmonics], int points, int harmonics,
                       std::int32_t bound);
