// The random draws' shortcuts must give exactly what the plain arithmetic
// gives, for every draw, including those no picture in the whole-run
// equality check happens to meet.
#include <gtest/gtest.h>

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
