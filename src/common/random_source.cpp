#include "common/random_source.h"

#include <ctime>

namespace RandomSource {
namespace {
std::uint32_t state = 0;
}

void seedFromClock() { seed(static_cast<std::uint32_t>(std::time(nullptr))); }

void seed(std::uint32_t value) { state = value; }

std::int32_t next() {
  state = state * 214013u + 2531011u;  // unsigned: wraps modulo 2^32
  return static_cast<std::int32_t>((state >> 16) & 0x7FFFu);
}

}  // namespace RandomSource
