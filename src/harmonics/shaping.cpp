#include <cmath>

#include "cli/converter.h"
#include "common/fixed_constants.h"
#include "common/random_source.h"

// Every shaping stage visits points outer, harmonics inner: the order decides
// which random draw lands in which cell.

namespace {

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
      const std::int32_t draw = RandomSource::next() % 100;
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
      const std::int32_t draw = RandomSource::next() % 100;
      if (randomPercent > draw) {
        const std::int32_t value = RandomSource::next() % 100;
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
  for (int p = 0; p < pointCount; ++p) {
    for (int h = 0; h < harmonicCount; ++h) {
      const double scaled =
          static_cast<double>(normalizePercent) * static_cast<double>(amplitude[p][h]) * kPercent;
      amplitude[p][h] = static_cast<float>(scaled);
    }
  }
  return 0;
}
