#pragma once

#include <cstdint>

// The run's one pseudo-random generator. Its state is shared by every stage
// that draws from it, so the order of the draws decides every random value in
// the output.
namespace RandomSource {

namespace detail {
constexpr std::uint32_t kMultiplier = 214013u;
constexpr std::uint32_t kIncrement = 2531011u;
// The one state of the process. Defined here so that a draw costs a multiply
// and an add in the stage's own loop rather than a call.
inline std::uint32_t state = 0;
}  // namespace detail

// Seeds the state from the wall clock in whole seconds. Called once, when the
// Converter is constructed.
void seedFromClock();

// Sets the state directly. The program never calls this; tests use it to make
// random stages repeatable.
void seed(std::uint32_t value);

// Advances the state and returns a value in 0..32767.
inline std::int32_t next() {
  detail::state = detail::state * detail::kMultiplier + detail::kIncrement;  // wraps modulo 2^32
  return static_cast<std::int32_t>((detail::state >> 16) & 0x7FFFu);
}

// `count` steps of the generator folded into one.
struct Jump {
  std::uint32_t multiplier;
  std::uint32_t increment;
  // The state `count` steps after `state`.
  std::uint32_t from(std::uint32_t state) const { return state * multiplier + increment; }
};
Jump jumpOf(std::uint32_t count);

// Leaves the state where `count` calls of next() would, in a few steps.
void skip(std::uint32_t count);

}  // namespace RandomSource
