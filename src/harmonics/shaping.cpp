#include <cmath>

#include "cli/converter.h"
#include "common/random_source.h"

// Every shaping stage visits points outer, harmonics inner: the order decides
// which random draw lands in which cell.

namespace {
// One per cent as a single-precision constant, widened exactly to double.
const double kPercent = static_cast<double>(0.01f);
}  // namespace

int Converter::decimate() {
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
  for (int p = 0; p < pointCount; ++p) {
    for (int h = 0; h < harmonicCount; ++h) {
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
