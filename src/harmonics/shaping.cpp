#include <cmath>
#include <cstdint>
#include <cstring>

#include "cli/converter.h"
#include "common/draw_divisor.h"
#include "common/fixed_constants.h"
#include "common/random_source.h"

// Every shaping stage visits points outer, harmonics inner: the order decides
// which random draw lands in which cell.

namespace {

// Draws are reduced to a percent, 0..99.
constexpr DrawDivisor kPercentDraw(100);

// True when every cell of the row is in +0..1, which a cut with no floor can
// never touch. As bit patterns those floats are exactly the integers up to
// kOneBits (negative values, -0 and not-a-number all lie above). An integer x
// is at most kOneBits exactly when neither x nor x + (0x7FFFFFFF - kOneBits)
// has its top bit set, so one OR over the row, a vector at a time, decides.
bool allUnitAmplitudes(const float* row, int count) {
  constexpr std::uint32_t kOneBits = 0x3F800000u;
  constexpr std::uint32_t kLift = 0x7FFFFFFFu - kOneBits;
  std::uint32_t seen = 0;
  for (int h = 0; h < count; ++h) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &row[h], sizeof bits);
    seen |= bits | (bits + kLift);
  }
  return (seen & 0x80000000u) == 0;
}

// Draws one pass over the used cells takes, one per cell.
std::uint32_t usedCells(std::int32_t points, std::int32_t harmonics) {
  if (points <= 0 || harmonics <= 0) {
    return 0;
  }
  return static_cast<std::uint32_t>(points) * static_cast<std::uint32_t>(harmonics);
}

}  // namespace

int Converter::decimate() {
  // A draw is 0..99, so at 0 % no cell is muted; the draws are still taken.
  if (decimatePercent <= 0) {
    RandomSource::skip(usedCells(pointCount, harmonicCount));
    return 0;
  }
  for (int p = 0; p < pointCount; ++p) {
    for (int h = 0; h < harmonicCount; ++h) {
      const std::int32_t draw = kPercentDraw.remainder(RandomSource::next());
      if (decimatePercent > draw) {
        amplitude[p][h] = 0.0f;
      }
    }
  }
  return 0;
}

int Converter::randomize() {
  // At 0 % no cell gets a value, and each takes only its first draw.
  if (randomPercent <= 0) {
    RandomSource::skip(usedCells(pointCount, harmonicCount));
    return 0;
  }
  for (int p = 0; p < pointCount; ++p) {
    for (int h = 0; h < harmonicCount; ++h) {
      const std::int32_t draw = kPercentDraw.remainder(RandomSource::next());
      if (randomPercent > draw) {
        const std::int32_t value = kPercentDraw.remainder(RandomSource::next());
        amplitude[p][h] = static_cast<float>(static_cast<double>(value) * kPercent);
      }
    }
  }
  return 0;
}

int Converter::cutNoise() {
  // With no floor and a ceiling of 0..100 %, an amplitude in 0..1 scales to a
  // whole percent of at least 0 and is never cut; only other cells need the
  // arithmetic below.
  const bool keepsUnitAmplitudes =
      noiseFloorPercent <= 0 && normalizePercent >= 0 && normalizePercent <= 100;
  for (int p = 0; p < pointCount; ++p) {
    if (keepsUnitAmplitudes && allUnitAmplitudes(amplitude[p], harmonicCount)) {
      continue;
    }
    for (int h = 0; h < harmonicCount; ++h) {
      if (keepsUnitAmplitudes && amplitude[p][h] >= 0.0f && amplitude[p][h] <= 1.0f) {
        continue;
      }
      // The floor is compared with the whole percent the cell will have after
      // scaling; the product is floored in double, never rounded to float.
      const auto percent =
          static_cast<std::int32_t>(std::floor(static_cast<double>(amplitude[p][h]) * 100.0));
      const std::int32_t scaled = (percent * normalizePercent) / 100;
      if (noiseFloorPercent > scaled) {
        amplitude[p][h] = 0.0f;
      }
    }
  }
  return 0;
}

int Converter::scaleAmplitudes() {
  const auto percent = static_cast<double>(normalizePercent);
  // Below 2^29 in size, a percent times a float (24 significant bits) is
  // exact in double, and so is the percent times kPercent (a float too):
  // multiplying the cell by that one factor rounds the same exact product,
  // once, and saves a multiply per cell.
  constexpr std::int32_t kExactPercent = 1 << 29;
  if (normalizePercent > -kExactPercent && normalizePercent < kExactPercent) {
    const double factor = percent * kPercent;
    for (int p = 0; p < pointCount; ++p) {
      float* row = amplitude[p];
      for (int h = 0; h < harmonicCount; ++h) {
        row[h] = static_cast<float>(factor * static_cast<double>(row[h]));
      }
    }
    return 0;
  }
  for (int p = 0; p < pointCount; ++p) {
    float* row = amplitude[p];
    for (int h = 0; h < harmonicCount; ++h) {
      row[h] = static_cast<float>(percent * static_cast<double>(row[h]) * kPercent);
    }
  }
  return 0;
}
