#include "cli/converter.h"
#include "common/random_source.h"
#include "harmonics/detune_ratios.h"

int Converter::computeRatios() {
  // Harmonics outer, points inner: the opposite of the shaping stages, and it
  // fixes which draw detunes which cell.
  if (freqDelta == 0) {
    for (int h = 0; h < harmonicCount; ++h) {
      for (int p = 0; p < pointCount; ++p) {
        ratio[p][h] = static_cast<float>(h + 1);
      }
    }
    return 0;
  }
  if (pointCount > kMaxPoints || harmonicCount > kMaxHarmonics) {
    return 0;  // no picture gives such counts, and the matrix holds no more
  }
  if (freqDelta > 0 && freqDelta <= kMaxDetunePerMille) {
    fillDetunedRatios(ratio, pointCount, harmonicCount, freqDelta);
    return 0;
  }
  // A bound the options never give: the arithmetic as it stands.
  for (int h = 0; h < harmonicCount; ++h) {
    for (int p = 0; p < pointCount; ++p) {
      const std::int32_t draw = RandomSource::next() % (2 * freqDelta + 1);
      ratio[p][h] = detunedRatio(draw, freqDelta, h + 1);
    }
  }
  return 0;
}
