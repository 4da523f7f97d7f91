#pragma once

#include <cstdint>

// The detune stage's draws, taken ahead of filling the ratios: `count` draws
// from the shared generator, each reduced modulo `divisor` (odd, 3..201), in
// the order next() would give them. The generator ends where `count` calls of
// next() would leave it.
void drawRemainders(std::uint16_t* remainders, int count, std::uint32_t divisor);

// Reduces a draw (0..32767) modulo an odd divisor 3..201 with 16-bit
// arithmetic only: q = ((draw * magic) >> 16) >> shift, exact for every draw.
struct OddDivisor16 {
  explicit OddDivisor16(std::uint32_t divisor);
  std::uint16_t remainder(std::uint16_t draw) const;

  std::uint16_t divisor;
  std::uint16_t magic;  // ceil(2^(16 + shift) / divisor)
  int shift;            // floor(log2(divisor))
};
