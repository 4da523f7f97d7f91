#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "cli/converter.h"
#include "common/random_source.h"
#include "test_support.h"

namespace {

// A Converter right after loading `rows` rows of `pixel`.
std::unique_ptr<Converter> loaded(int rows, std::uint8_t pixel) {
  auto converter = std::make_unique<Converter>();
  converter->pointCount = rows;
  for (auto& row : converter->amplitude) {
    for (float& cell : row) {
      cell = static_cast<float>(pixel * static_cast<double>(1.0f / 255.0f));
    }
  }
  return converter;
}

float shaped(std::uint8_t pixel, int normalize, int floor) {
  auto converter = loaded(1, pixel);
  converter->normalizePercent = normalize;
  converter->noiseFloorPercent = floor;
  converter->cutNoise();
  converter->scaleAmplitudes();
  return converter->amplitude[0][0];
}

}  // namespace

TEST(AmplitudeShaping, ScalesAndCutsInDoublePrecision) {
  EXPECT_EQ(bitsOf(shaped(255, 40, 0)), 0x3ECCCCCCu);
  EXPECT_EQ(shaped(51, 40, 0), 0.080000006f);
  EXPECT_EQ(shaped(255, 1, 0), 0.01f);
  EXPECT_EQ(shaped(77, 100, 0), loaded(1, 77)->amplitude[0][0]);
  EXPECT_EQ(shaped(60, 40, 10), 0.0f);
  EXPECT_NEAR(shaped(64, 40, 10), 0.1004, 1e-4);
  EXPECT_EQ(shaped(127, 100, 50), 0.0f);
  EXPECT_GT(shaped(128, 100, 50), 0.5f);
  EXPECT_EQ(shaped(128, 40, 50), 0.0f);
  // The random value 0.10 is stored as 0.099999994: floor(x 100) is 9, cut.
  auto converter = loaded(1, 0);
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
  auto converter = loaded(4, 200);
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
  auto converter = loaded(3, 0);
  converter->freqDelta = 0;
  converter->computeRatios();
  EXPECT_EQ(converter->ratio[2][63], 64.0f);

  converter->freqDelta = 100;
  RandomSource::seed(7);
  const int first = RandomSource::next() % 201 - 100;
  const int second = RandomSource::next() % 201 - 100;
  RandomSource::seed(7);
  converter->computeRatios();
  EXPECT_EQ(converter->ratio[0][0], static_cast<float>((1000 + first) * double{0.001f}));
  EXPECT_EQ(converter->ratio[1][0], static_cast<float>((1000 + second) * double{0.001f}));
  for (int h = 0; h < 64; ++h) {
    const double perMille = converter->ratio[2][h] / (0.001 * (h + 1));
    EXPECT_NEAR(perMille, std::round(perMille), 1e-2);
    EXPECT_NEAR(perMille, 1000, 100.01);
  }
}

TEST(EnvelopeClosing, PrintsTheLoopAndAppendsCopyAndSilentPoint) {
  const std::vector<std::tuple<int, int, const char*>> cases = {
      {32, 0, "34 = 9 .. 32 : 2.700000 .. 9.600000\n"},
      {28, 0, "30 = 8 .. 28 : 2.400000 .. 8.400000\n"},
      {128, 0, "128 = 33 .. 126 : 9.900000 .. 37.800002\n"},
      {127, 0, "128 = 32 .. 126 : 9.600000 .. 37.800002\n"},
      {4, 0, "6 = 2 .. 4 : 0.600000 .. 1.200000\n"},
      {63, 50, "64 = 16 .. 62 : 4.800000 .. 18.600001\n"},
      {62, 50, "64 = 16 .. 62 : 4.800000 .. 18.600001\n"},
      {1, 0, "3 = 1 .. 1 : 0.300000 .. 0.300000\n"},
  };
  for (const auto& [rows, plateau, line] : cases) {
    auto converter = loaded(rows, 0);
    converter->plateauPercent = plateau;
    converter->harmonicCount = 10;
    for (int p = 0; p < 128; ++p) {
      std::fill(std::begin(converter->amplitude[p]), std::end(converter->amplitude[p]),
                static_cast<float>(p));
      converter->ratio[p][9] = static_cast<float>(1000 + p);
    }
    testing::internal::CaptureStdout();
    converter->closeEnvelope();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), line);
    const int a = rows / 4 + 1;
    const int n = converter->pointCount;
    EXPECT_EQ(converter->loopStart, static_cast<float>(a * double{0.3f}));
    EXPECT_EQ(converter->loopEnd, static_cast<float>((n - 2) * double{0.3f}));
    EXPECT_EQ(converter->amplitude[n - 2][9], static_cast<float>(a)) << rows;
    EXPECT_EQ(converter->ratio[n - 2][9], static_cast<float>(1000 + a)) << rows;
    EXPECT_EQ(converter->amplitude[n - 1][9], 0.0f);
    EXPECT_EQ(converter->ratio[n - 1][9], 10.0f);
    EXPECT_EQ(converter->amplitude[n - 1][10], static_cast<float>(n - 1));  // beyond -t
    EXPECT_EQ(converter->amplitude[n - 3][0], static_cast<float>(n - 3));   // last kept point
  }
}
