#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "cli/converter.h"
#include "common/random_source.h"
#include "test_support.h"

namespace {

// A Converter holding a freshly loaded picture of `rows` rows, every cell
// set from its pixel value the way the loader does.
std::unique_ptr<Converter> loaded(int rows, std::uint8_t pixel) {
  auto converter = std::make_unique<Converter>();
  converter->pointCount = rows;
  for (int p = 0; p < rows; ++p) {
    for (int h = 0; h < 64; ++h) {
      converter->amplitude[p][h] =
          static_cast<float>(static_cast<double>(pixel) * static_cast<double>(1.0f / 255.0f));
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

std::string closeAndCapture(Converter& converter) {
  testing::internal::CaptureStdout();
  converter.closeEnvelope();
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(RandomSource, FollowsTheRunsLinearCongruentialSequence) {
  RandomSource::seed(1);
  EXPECT_EQ(RandomSource::next(), 41);
  EXPECT_EQ(RandomSource::next(), 18467);
  EXPECT_EQ(RandomSource::next(), 6334);
  RandomSource::seed(0xFFFFFFFFu);
  for (int i = 0; i < 1000; ++i) {
    const int value = RandomSource::next();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
}

TEST(RandomSource, SkipLandsWhereTheDrawsWould) {
  for (const std::uint32_t count : {0u, 1u, 2u, 3u, 64u, 8191u, 8192u, 100003u}) {
    RandomSource::seed(0xDEADBEEFu + count);
    for (std::uint32_t i = 0; i < count; ++i) {
      RandomSource::next();
    }
    const int drawn = RandomSource::next();
    RandomSource::seed(0xDEADBEEFu + count);
    RandomSource::skip(count);
    EXPECT_EQ(RandomSource::next(), drawn) << count;
  }
}

TEST(AmplitudeShaping, ScalesInDoublePrecisionRoundingOnce) {
  EXPECT_EQ(bitsOf(shaped(255, 40, 0)), 0x3ECCCCCCu);
  EXPECT_EQ(shaped(51, 40, 0), 0.080000006f);
  EXPECT_EQ(shaped(255, 1, 0), 0.01f);
  auto converter = loaded(1, 77);
  const float before = converter->amplitude[0][0];
  converter->normalizePercent = 100;
  converter->scaleAmplitudes();
  EXPECT_EQ(bitsOf(converter->amplitude[0][0]), bitsOf(before));
}

TEST(AmplitudeShaping, NoiseFloorJudgesTheScaledWholePercent) {
  EXPECT_EQ(shaped(60, 40, 10), 0.0f);
  EXPECT_NEAR(shaped(64, 40, 10), 0.1004, 1e-4);
  EXPECT_EQ(shaped(127, 100, 50), 0.0f);
  EXPECT_GT(shaped(128, 100, 50), 0.5f);
  EXPECT_EQ(shaped(128, 40, 50), 0.0f);
  // Random values 0.10 and 0.11 as stored: floor(0.099999994 x 100) is 9.
  auto converter = loaded(1, 0);
  converter->normalizePercent = 100;
  converter->noiseFloorPercent = 10;
  converter->amplitude[0][0] = static_cast<float>(10 * static_cast<double>(0.01f));
  converter->amplitude[0][1] = static_cast<float>(11 * static_cast<double>(0.01f));
  converter->cutNoise();
  EXPECT_EQ(converter->amplitude[0][0], 0.0f);
  EXPECT_EQ(converter->amplitude[0][1], 0.11f);
}

TEST(AmplitudeShaping, DrawsOncePerUsedCellAndLeavesOtherColumnsAlone) {
  // At 0 % nothing changes, yet every used cell takes its draw.
  auto converter = loaded(4, 200);
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
  EXPECT_EQ(converter->amplitude[3][7], loaded(1, 200)->amplitude[0][0]);

  converter->decimatePercent = 100;
  converter->decimate();
  converter->normalizePercent = 100;
  converter->noiseFloorPercent = 99;
  converter->cutNoise();
  converter->normalizePercent = 7;
  converter->scaleAmplitudes();
  for (int p = 0; p < 4; ++p) {
    for (int h = 0; h < 64; ++h) {
      EXPECT_EQ(converter->amplitude[p][h], h < 8 ? 0.0f : loaded(1, 200)->amplitude[0][0]);
    }
  }

  converter->randomPercent = 100;
  converter->randomize();
  for (int p = 0; p < 4; ++p) {
    for (int h = 0; h < 8; ++h) {
      const double hundredths = static_cast<double>(converter->amplitude[p][h]) / 0.01;
      EXPECT_NEAR(hundredths, std::round(hundredths), 1e-3);
      EXPECT_LE(converter->amplitude[p][h], 0.99f);
    }
  }
}

TEST(FrequencyRatios, DetuneIsDrawnHarmonicOuterPointInner) {
  auto converter = loaded(3, 0);
  converter->freqDelta = 0;
  converter->computeRatios();
  for (int h = 0; h < 64; ++h) {
    EXPECT_EQ(converter->ratio[2][h], static_cast<float>(h + 1));
  }

  converter->freqDelta = 100;
  RandomSource::seed(7);
  const int first = RandomSource::next() % 201 - 100;
  const int second = RandomSource::next() % 201 - 100;
  RandomSource::seed(7);
  converter->computeRatios();
  EXPECT_EQ(converter->ratio[0][0],
            static_cast<float>((1000 + first) * static_cast<double>(0.001f)));
  EXPECT_EQ(converter->ratio[1][0],
            static_cast<float>((1000 + second) * static_cast<double>(0.001f)));
  for (int h = 0; h < 64; ++h) {
    for (int p = 0; p < 3; ++p) {
      const double perMille = converter->ratio[p][h] / (0.001 * (h + 1));
      EXPECT_NEAR(perMille, std::round(perMille), 1e-2);
      EXPECT_GE(perMille, 899.99);
      EXPECT_LE(perMille, 1100.01);
    }
  }
}

TEST(EnvelopeClosing, PrintsTheLoopAndAppendsCopyAndSilentPoint) {
  struct Case {
    int rows;
    int plateau;
    const char* line;
  };
  const Case cases[] = {
      {32, 0, "34 = 9 .. 32 : 2.700000 .. 9.600000\n"},
      {28, 0, "30 = 8 .. 28 : 2.400000 .. 8.400000\n"},
      {128, 0, "128 = 33 .. 126 : 9.900000 .. 37.800002\n"},
      {127, 0, "128 = 32 .. 126 : 9.600000 .. 37.800002\n"},
      {4, 0, "6 = 2 .. 4 : 0.600000 .. 1.200000\n"},
      {63, 50, "64 = 16 .. 62 : 4.800000 .. 18.600001\n"},
      {62, 50, "64 = 16 .. 62 : 4.800000 .. 18.600001\n"},
      {1, 0, "3 = 1 .. 1 : 0.300000 .. 0.300000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    auto converter = loaded(c.rows, 0);
    converter->plateauPercent = c.plateau;
    converter->harmonicCount = 10;
    for (int p = 0; p < 128; ++p) {
      for (int h = 0; h < 64; ++h) {
        converter->amplitude[p][h] = static_cast<float>(p);
        converter->ratio[p][h] = static_cast<float>(1000 + p);
      }
    }
    EXPECT_EQ(closeAndCapture(*converter), c.line);
    const int loopPoint = c.rows / 4 + 1;
    const int n = converter->pointCount;
    EXPECT_EQ(converter->loopStart,
              static_cast<float>(loopPoint * static_cast<double>(converter->interval)));
    EXPECT_EQ(converter->loopEnd, static_cast<float>((n - 2) * static_cast<double>(0.3f)));
    for (int h = 0; h < 10; ++h) {
      EXPECT_EQ(converter->amplitude[n - 2][h], static_cast<float>(loopPoint));
      EXPECT_EQ(converter->ratio[n - 2][h], static_cast<float>(1000 + loopPoint));
      EXPECT_EQ(converter->amplitude[n - 1][h], 0.0f);
      EXPECT_EQ(converter->ratio[n - 1][h], static_cast<float>(h + 1));
    }
    EXPECT_EQ(converter->amplitude[n - 1][10], static_cast<float>(n - 1));  // beyond -t
    EXPECT_EQ(converter->amplitude[n - 3][0], static_cast<float>(n - 3));   // last kept point
  }
}
