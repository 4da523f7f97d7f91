// The conversion's shortcuts must give exactly what the plain arithmetic
// gives; the whole-run equality check covers ordinary pictures, these cover
// the values no picture produces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "cli/converter.h"
#include "common/draw_divisor.h"
#include "common/fixed_constants.h"
#include "common/random_source.h"
#include "harmonics/detune_ratios.h"

// Draws are reduced by multiplication instead of division; one wrong
// remainder would move a random value. Every draw against every divisor the
// options use: 2 * detune + 1 for detune 1..100, and 100 for percents.
TEST(FastPaths, RemainderByMultiplicationForEveryDrawAndDivisor) {
  for (std::uint32_t divisor = 3; divisor <= 201; ++divisor) {
    if (divisor % 2 == 0 && divisor != 100) {
      continue;
    }
    const DrawDivisor reduce(divisor);
    for (std::int32_t draw = 0; draw < 32768; ++draw) {
      ASSERT_EQ(reduce.remainder(draw), draw % static_cast<std::int32_t>(divisor))
          << draw << " mod " << divisor;
    }
  }
}

// The detune fills eight harmonics at a time, each lane on its own run of
// draws; every cell and the generator's final state must be what one draw
// after another gives, whatever the counts (a partial block of harmonics
// included) and the bound.
TEST(FastPaths, DetunedRatiosInLanesAreTheDrawsOneByOne) {
  static float fast[kMaxPoints][kMaxHarmonics];
  for (const int points : {1, 2, 33, 128}) {
    for (const int harmonics : {1, 7, 8, 9, 63, 64}) {
      for (const std::int32_t bound : {1, 5, 50, 100}) {
        const std::uint32_t seed = 977u * static_cast<std::uint32_t>(points * harmonics + bound);
        RandomSource::seed(seed);
        fillDetunedRatios(fast, points, harmonics, bound);
        const std::int32_t after = RandomSource::next();
        RandomSource::seed(seed);
        for (int h = 0; h < harmonics; ++h) {
          for (int p = 0; p < points; ++p) {
            const std::int32_t draw = RandomSource::next() % (2 * bound + 1);
            const auto expected = static_cast<float>(
                static_cast<double>((1000 + draw - bound) * (h + 1)) * kPerMille);
            ASSERT_EQ(fast[p][h], expected)
                << p << "," << h << " of " << points << "x" << harmonics << " bound " << bound;
          }
        }
        EXPECT_EQ(after, RandomSource::next()) << points << "x" << harmonics;
      }
    }
  }
}

// With no noise floor only cells outside 0..1 can be cut; a row is skipped
// only when all of its cells are inside.
TEST(FastPaths, NoFloorStillCutsANegativeCellAmongOrdinaryOnes) {
  auto converter = std::make_unique<Converter>();
  converter->pointCount = 2;
  for (auto& row : converter->amplitude) {
    for (float& cell : row) {
      cell = 0.5f;
    }
  }
  converter->amplitude[1][63] = -0.5f;
  converter->amplitude[1][62] = 1.5f;
  converter->amplitude[1][61] = -0.0f;
  converter->noiseFloorPercent = 0;
  converter->cutNoise();
  EXPECT_EQ(converter->amplitude[1][63], 0.0f);
  EXPECT_EQ(converter->amplitude[1][62], 1.5f);
  EXPECT_TRUE(std::signbit(converter->amplitude[1][61]));  // floors to 0, not cut
  EXPECT_EQ(converter->amplitude[0][63], 0.5f);
}

// Scaling multiplies each cell by percent * kPercent at once instead of by
// the percent and then kPercent; both products are exact, so the one
// rounding must give the same bits for any cell, including those no picture
// gives (tiny, huge, negative, not a number).
TEST(FastPaths, OneScaleFactorGivesTheBitsOfTwoMultiplies) {
  auto converter = std::make_unique<Converter>();
  converter->pointCount = kMaxPoints;
  converter->harmonicCount = kMaxHarmonics;
  std::uint32_t state = 2024u;
  for (const std::int32_t percent :
       {0, 1, 40, 99, 100, 101, 255, 1000, 65535, (1 << 28) + 3, (1 << 29) - 1, -7, -(1 << 29) + 1,
        (1 << 30) - 1, -(1 << 30) + 1}) {
    float before[kMaxPoints][kMaxHarmonics];
    for (auto& row : before) {
      for (float& cell : row) {
        state = state * 1664525u + 1013904223u;
        std::memcpy(&cell, &state, sizeof cell);
      }
    }
    before[0][0] = 1.0f / 255.0f;
    before[0][1] = 0.99f;
    std::memcpy(converter->amplitude, before, sizeof before);
    converter->normalizePercent = percent;
    converter->scaleAmplitudes();
    for (int p = 0; p < kMaxPoints; ++p) {
      for (int h = 0; h < kMaxHarmonics; ++h) {
        const auto expected = static_cast<float>(static_cast<double>(percent) *
                                                 static_cast<double>(before[p][h]) * kPercent);
        const float got = converter->amplitude[p][h];
        if (std::isnan(expected)) {
          ASSERT_TRUE(std::isnan(got));
        } else {
          std::uint32_t gotBits = 0;
          std::uint32_t expectedBits = 0;
          std::memcpy(&gotBits, &got, sizeof got);
          std::memcpy(&expectedBits, &expected, sizeof expected);
          ASSERT_EQ(gotBits, expectedBits) << percent << " x " << before[p][h];
        }
      }
    }
  }
}
