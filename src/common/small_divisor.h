#pragma once

#include <cstdint>

// The remainder of a random draw (0..32767) by a divisor the options allow
// (at most 201), by one multiplication instead of a hardware divide. With
// magic = ceil(2^32 / d), (n * magic) >> 32 is exactly n / d for every
// n < 2^15 and d < 2^16: the rounding error stays below 1 / d.
class SmallDivisor {
 public:
  explicit constexpr SmallDivisor(std::uint32_t divisor)
      : divisor_(divisor), magic_((0xFFFFFFFFull / divisor) + 1u) {}

  constexpr std::int32_t remainder(std::int32_t draw) const {
    const auto n = static_cast<std::uint32_t>(draw);
    const auto quotient = static_cast<std::uint32_t>((n * magic_) >> 32);
    return static_cast<std::int32_t>(n - quotient * divisor_);
  }

 private:
  std::uint32_t divisor_;
  std::uint64_t magic_;
};
