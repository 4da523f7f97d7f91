#pragma once

#include <cstddef>
#include <cstdint>

// Room for the longest summary line: three whole numbers and two values of
// up to 309 digits before the point.
constexpr std::size_t kSummaryLineBytes = 768;

// The line closeEnvelope() prints for each picture, exactly as
// "%d = %d .. %d : %f .. %f\n" prints it, without printf's general machinery:
// std::to_chars gives printf's own digits for each value. Returns its length;
// `out` is not terminated.
std::size_t formatSummaryLine(char (&out)[kSummaryLineBytes], std::int32_t points,
                              std::int32_t loopPoint, std::int32_t loopEndPoint, double startTime,
                              double endTime);
