#include "common/random_source.h"

#include <ctime>

namespace RandomSource {
namespace {
constexpr std::uint32_t kMultiplier = 214013u;
constexpr std::uint32_t kIncrement = 2531011u;
std::uint32_t state = 0;
}  // namespace

void seedFromClock() { seed(static_cast<std::uint32_t>(std::time(nullptr))); }

void seed(std::uint32_t value) { state = value; }

std::int32_t next() {
  state = state * kMultiplier + kIncrement;  // unsigned: wraps modulo 2^32
  return static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
}

void skip(std::uint32_t count) {
  // One step is state * a + c; composing steps by squaring reaches any count
  // in one pass over its bits, with the same wrap-around as next().
  std::uint32_t multiplier = 1u;
  std::uint32_t increment = 0u;
  std::uint32_t stepMultiplier = kMultiplier;
  std::uint32_t stepIncrement = kIncrement;
  for (; count != 0u; count >>= 1) {
    if ((count & 1u) != 0u) {
      multiplier *= stepMultiplier;
      increment = increment * stepMultiplier + stepIncrement;
    }
    stepIncrement = (stepMultiplier + 1u) * stepIncrement;
    stepMultiplier *= stepMultiplier;
  }
  state = state * multiplier + increment;
}

}  // namespace RandomSource
