#pragma once

#include <array>
#include <cstdint>
#include <vector>

// What each grey level of a picture becomes in the voice under a ceiling
// (-n), with no noise floor, as float bits. It rises with the level, as the
// bits of non-negative floats do.
using ToneLevelTable = std::array<std::uint32_t, 256>;

ToneLevelTable toneLevelTable(int ceiling);

// The ceiling whose table holds every one of `amplitudes` (float bits,
// sorted, distinct), with that table: tonepix's default first, then from the
// top down. 0 when none does.
int findToneCeiling(const std::vector<std::uint32_t>& amplitudes, ToneLevelTable& table);
