#pragma once

#include <cstdint>

// The detune stage's draws, taken ahead of filling the ratios: `count` draws
// from the shared generator, each reduced modulo `divisor` (3..201), in
// the order next() would give them. The generator ends where `count` calls of
// next() would leave it.
void drawRemainders(std::uint16_t* remainders, int count, std::uint32_t divisor);
