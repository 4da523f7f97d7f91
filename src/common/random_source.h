#pragma once

#include <cstdint>

// The run's one pseudo-random generator. Its state is shared by every stage
// that draws from it, so the order of the draws decides every random value in
// the output.
namespace RandomSource {

// Seeds the state from the wall clock in whole seconds. Called once, when the
// Converter is constructed.
void seedFromClock();

// Sets the state directly. The program never calls this; tests use it to make
// random stages repeatable.
void seed(std::uint32_t value);

// Advances the state and returns a value in 0..32767.
std::int32_t next();

// Leaves the state where `count` calls of next() would, in a few steps.
void skip(std::uint32_t count);

}  // namespace RandomSource
