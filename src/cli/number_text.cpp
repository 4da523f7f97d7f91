#include "cli/number_text.h"

#include <cstdlib>
#include <string>

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipBlanks(const char* text) {
  while (isBlank(*text)) {
    ++text;
  }
  return text;
}

}  // namespace

std::int32_t readInteger(const char* text) {
  const char* p = skipBlanks(text);
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = (*p == '-');
    ++p;
  }
  std::uint32_t value = 0;
  for (; isDigit(*p); ++p) {
    value = value * 10u + static_cast<std::uint32_t>(*p - '0');
  }
  if (negative) {
    value = 0u - value;
  }
  return static_cast<std::int32_t>(value);
}

double readDecimal(const char* text) {
  const char* p = skipBlanks(text);
  // The accepted prefix is rewritten in a form strtod reads the same way on
  // every locale, so that rounding to the nearest double is strtod's.
  std::string normal;
  if (*p == '+' || *p == '-') {
    normal += *p;
    ++p;
  }
  bool anyDigit = false;
  for (; isDigit(*p); ++p) {
    normal += *p;
    anyDigit = true;
  }
  if (*p == '.') {
    ++p;
    normal += '.';
    for (; isDigit(*p); ++p) {
      normal += *p;
      anyDigit = true;
    }
  }
  if (!anyDigit) {
    return 0.0;
  }
  if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') {
    const char* q = p + 1;
    std::string exponent = "e";
    if (*q == '+' || *q == '-') {
      exponent += *q;
      ++q;
    }
    if (isDigit(*q)) {
      for (; isDigit(*q); ++q) {
        exponent += *q;
      }
      normal += exponent;
    }
  }
  // The program never changes its locale, so strtod's decimal point is '.'.
  return std::strtod(normal.c_str(), nullptr);
}
