// The conversion's shortcuts must give exactly what the plain arithmetic
// gives; the whole-run equality check covers ordinary pictures, these cover
// the values no picture produces.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "cli/converter.h"
#include "common/random_source.h"
#include "common/draw_divisor.h"
#include "harmonics/detune_draws.h"

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

// The detune's draws, taken eight generator states at a time, are the draws
// next() gives one by one, and leave the generator where next() would.
TEST(FastPaths, DetuneDrawsInBlocksAreTheDrawsOneByOne) {
  std::uint16_t drawn[64 * 128];
  for (const int count : {0, 1, 7, 8, 9, 63, 64 * 128}) {
    for (const std::uint32_t divisor : {3u, 11u, 101u, 201u}) {
      RandomSource::seed(12345u + static_cast<std::uint32_t>(count));
      drawRemainders(drawn, count, divisor);
      const std::int32_t after = RandomSource::next();
      RandomSource::seed(12345u + static_cast<std::uint32_t>(count));
      for (int k = 0; k < count; ++k) {
        ASSERT_EQ(drawn[k], RandomSource::next() % static_cast<std::int32_t>(divisor))
            << k << " of " << count << " mod " << divisor;
      }
      EXPECT_EQ(after, RandomSource::next()) << count;
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
