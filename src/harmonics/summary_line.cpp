#include "harmonics/summary_line.h"

#include <charconv>
#include <cstring>

namespace {

constexpr int kFixedDecimals = 6;  // what "%f" prints

char* appendText(char* at, const char* text) {
  const std::size_t length = std::strlen(text);
  std::memcpy(at, text, length);
  return at + length;
}

}  // namespace

std::size_t formatSummaryLine(char (&out)[kSummaryLineBytes], std::int32_t points,
                              std::int32_t loopPoint, std::int32_t loopEndPoint, double startTime,
                              double endTime) {
  char* const end = out + kSummaryLineBytes;
  char* at = std::to_chars(out, end, points).ptr;
  at = appendText(at, " = ");
  at = std::to_chars(at, end, loopPoint).ptr;
  at = appendText(at, " .. ");
  at = std::to_chars(at, end, loopEndPoint).ptr;
  at = appendText(at, " : ");
  at = std::to_chars(at, end, startTime, std::chars_format::fixed, kFixedDecimals).ptr;
  at = appendText(at, " .. ");
  at = std::to_chars(at, end, endTime, std::chars_format::fixed, kFixedDecimals).ptr;
  *at++ = '\n';
  return static_cast<std::size_t>(at - out);
}
