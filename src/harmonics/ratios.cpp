#include "cli/converter.h"
#include "common/fixed_constants.h"
#include "common/random_source.h"

int Converter::computeRatios() {
  // Harmonics outer, points inner: the opposite of the shaping stages, and it
  // fixes which draw detunes which cell.
  for (int h = 0; h < harmonicCount; ++h) {
    const std::int32_t harmonic = h + 1;
    for (int p = 0; p < pointCount; ++p) {
      if (freqDelta == 0) {
        ratio[p][h] = static_cast<float>(harmonic);
        continue;
      }
      const std::int32_t draw = RandomSource::next() % (2 * freqDelta + 1);
      const std::int32_t detune = draw - freqDelta;
      const std::int32_t perMille = (1000 + detune) * harmonic;
      ratio[p][h] = static_cast<float>(static_cast<double>(perMille) * kPerMille);
    }
  }
  return 0;
}
