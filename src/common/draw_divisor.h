#pragma once

#include <cstdint>

// The remainder of a random draw (0..32767) by a divisor the options use
// (100 for percents, 2 * detune + 1 for the detune), by one multiplication
// and shifts in 16-bit arithmetic instead of a hardware divide, so that it
// also runs eight lanes at a time.
//
// With the divisor m in (2^shift, 2^(shift+1)) and magic = ceil(2^(16+shift) / m),
// draw * magic / 2^(16+shift) exceeds draw / m by less than
// 2^15 / 2^(16+shift) = 2^-(shift+1) < 1 / m, too little to reach the next
// whole number: the quotient is exact. The magic stays below 2^16 whenever m
// is not a power of two, which holds for every divisor from 3 to 201 the
// options give.
struct DrawDivisor {
  explicit constexpr DrawDivisor(std::uint32_t value)
      : divisor(static_cast<std::uint16_t>(value)),
        shift(floorLog2(value)),
        magic(static_cast<std::uint16_t>(((1u << (16 + floorLog2(value))) + value - 1) / value)) {}

  constexpr std::int32_t remainder(std::int32_t draw) const {
    const auto n = static_cast<std::uint32_t>(draw);
    const std::uint32_t quotient = ((n * magic) >> 16) >> shift;
    return static_cast<std::int32_t>(n - quotient * divisor);
  }

  std::uint16_t divisor;
  int shift;            // floor(log2(divisor))
  std::uint16_t magic;  // ceil(2^(16 + shift) / divisor)

 private:
  static constexpr int floorLog2(std::uint32_t value) {
    int bits = 0;
    while ((value >> (bits + 1)) != 0) {
      ++bits;
    }
    return bits;
  }
};
