// The conversion's shortcuts must give exactly what the plain arithmetic
// gives; the whole-run equality check covers ordinary pictures, these cover
// the values no picture produces.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "cli/converter.h"
#include "common/small_divisor.h"

// Draws are reduced by multiplication instead of division; one wrong
// remainder would move a random value. Every draw against every divisor the
// options allow (2 * detune + 1 for detune 1..100, and 100 for percents).
TEST(FastPaths, RemainderByMultiplicationForEveryDrawAndDivisor) {
  for (std::uint32_t divisor = 1; divisor <= 201; ++divisor) {
    const SmallDivisor reduce(divisor);
    for (std::int32_t draw = 0; draw < 32768; ++draw) {
      ASSERT_EQ(reduce.remainder(draw), draw % static_cast<std::int32_t>(divisor))
          << draw << " mod " << divisor;
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
