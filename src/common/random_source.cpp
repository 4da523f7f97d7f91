#include "common/random_source.h"

#include <ctime>

namespace RandomSource {

void seedFromClock() { seed(static_cast<std::uint32_t>(std::time(nullptr))); }

void seed(std::uint32_t value) { detail::state = value; }

Jump jumpOf(std::uint32_t count) {
  // One step is state * a + c; composing steps by squaring reaches any count
  // in one pass over its bits, with the same wrap-around as next().
  std::uint32_t multiplier = 1u;
  std::uint32_t increment = 0u;
  std::uint32_t stepMultiplier = detail::kMultiplier;
  std::uint32_t stepIncrement = detail::kIncrement;
  for (; count != 0u; count >>= 1) {
    if ((count & 1u) != 0u) {
      multiplier *= stepMultiplier;
      increment = increment * stepMultiplier + stepIncrement;
    }
    stepIncrement = (stepMultiplier + 1u) * stepIncrement;
    stepMultiplier *= stepMultiplier;
  }
  return Jump{multiplier, increment};
}

void skip(std::uint32_t count) { detail::state = jumpOf(count).from(detail::state); }

}  // namespace RandomSource
