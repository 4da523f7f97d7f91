#include "common/small_divisor.h"

#include <gtest/gtest.h>

// The stages reduce draws by multiplication instead of division; one wrong
// remainder would move a random value. Every draw against every divisor the
// options allow (2 * detune + 1 for detune 1..100, and 100 for percents).
TEST(SmallDivisor, EqualsTheRemainderForEveryDrawAndDivisor) {
  for (std::uint32_t divisor = 1; divisor <= 201; ++divisor) {
    const SmallDivisor reduce(divisor);
    for (std::int32_t draw = 0; draw < 32768; ++draw) {
      ASSERT_EQ(reduce.remainder(draw), draw % static_cast<std::int32_t>(divisor))
          << draw << " mod " << divisor;
    }
  }
}
