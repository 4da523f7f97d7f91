#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "cli/converter.h"
#include "common/random_source.h"
#include "test_support.h"

namespace {

// A Converter right after loading `rows` rows, every cell `value`.
std::unique_ptr<Converter> loaded(int rows, float value) {
  auto converter = std::make_unique<Converter>();
  converter->pointCount = rows;
  for (auto& row : converter->amplitude) {
    std::fill(std::begin(row), std::end(row), value);
  }
  return converter;
}

}  // namespace

TEST(AmplitudeShaping, NoiseCutJudgesTheStoredRandomValue) {
  // The random value 0.10 is stored as 0.099999994: floor(x 100) is 9, cut.
  auto converter = loaded(1, 0.0f);
  converter->normalizePercent = 100;
  converter->noiseFloorPercent = 10;
  converter->amplitude[0][0] = static_cast<float>(10 * static_cast<double>(0.01f));
  converter->amplitude[0][1] = 0.11f;
  converter->cutNoise();
  EXPECT_EQ(converter->amplitude[0][0], 0.0f);
  EXPECT_EQ(converter->amplitude[0][1], 0.11f);
}

TEST(AmplitudeShaping, DrawsOncePerUsedCellAndLeavesOtherColumnsAlone) {
  RandomSource::seed(1);
  EXPECT_EQ(RandomSource::next(), 41);
  EXPECT_EQ(RandomSource::next(), 18467);
  // At 0 % nothing changes, yet every used cell takes its draw.
  auto converter = loaded(4, 0.75f);
  const float untouched = converter->amplitude[0][0];
  converter->harmonicCount = 8;
  RandomSource::seed(99);
  converter->decimate();
  converter->randomize();
  const int afterShaping = RandomSource::next();
  RandomSource::seed(99);
  for (int i = 0; i < 2 * 4 * 8; ++i) {
    RandomSource::next();
  }
  EXPECT_EQ(afterShaping, RandomSource::next());

  converter->decimatePercent = 100;
  converter->decimate();
  converter->scaleAmplitudes();
  for (int h = 0; h < 64; ++h) {
    EXPECT_EQ(converter->amplitude[3][h], h < 8 ? 0.0f : untouched);
  }
  converter->randomPercent = 100;
  converter->randomize();
  const double hundredths = converter->amplitude[3][7] / 0.01;
  EXPECT_NEAR(hundredths, std::round(hundredths), 1e-3);
  EXPECT_LE(hundredths, 99.001);
}

TEST(FrequencyRatios, DetuneIsDrawnHarmonicOuterPointInner) {
  auto converter = loaded(3, 0.0f);
  // From seed 7 the first two detunes are -39 and +36 per mille: both go to
  // harmonic 1, at points 0 and 1.
  converter->freqDelta = 100;
  RandomSource::seed(7);
  converter->computeRatios();
  EXPECT_EQ(converter->ratio[0][0], 0.961f);
  EXPECT_EQ(converter->ratio[1][0], 1.036f);
  for (int h = 0; h < 64; ++h) {
    const double perMille = converter->ratio[2][h] / (0.001 * (h + 1));
    EXPECT_NEAR(perMille, std::round(perMille), 1e-2);
    EXPECT_NEAR(perMille, 1000, 100.01);
  }
}
