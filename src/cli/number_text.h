#pragma once

#include <cstdint>

// Option values are read the way the classic C conversions read them, so that
// existing scripts keep their meaning.

// Leading blanks, an optional sign, then digits up to the first non-digit; no
// digits reads as 0. The value wraps modulo 2^32 instead of saturating.
std::int32_t readInteger(const char* text);

// Leading blanks, an optional sign, digits with an optional decimal point,
// then an optional exponent introduced by e, E, d or D. Text with no digits
// reads as 0; there are no infinity, not-a-number or hexadecimal forms.
double readDecimal(const char* text);
