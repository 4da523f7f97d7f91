#pragma once

// How fuzz_convert turns the first bytes of an input into command-line
// options. The corpus generator writes its seeds with the same layout.
//
// Bytes 0..6: -p -t -d -r -z -n -f, in that order. 0 leaves the option out;
//             any other byte b gives the value low + (b - 1) % span, a range
//             a little wider than the option's, so both clamps are reached.
// Byte 7:     0 no timing option; odd b: -b with (b / 2) * 9 - 20 beats per
//             minute; even b: -i with (b / 2) / 14 seconds.
// Byte 8:     verbosity, b % 3: none, -v, -V.
// The picture file's bytes follow.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::size_t kOptionBytes = 9;
constexpr std::size_t kTimingByte = 7;
constexpr std::size_t kVerbosityByte = 8;

struct FuzzIntegerOption {
  char letter;
  int low;
  int span;
};

constexpr FuzzIntegerOption kFuzzIntegerOptions[] = {{'p', -5, 111}, {'t', -2, 70},  {'d', -5, 111},
                                                     {'r', -5, 111}, {'z', -5, 110}, {'n', -5, 111},
                                                     {'f', -5, 111}};

inline std::vector<std::string> optionArguments(const std::uint8_t* bytes) {
  std::vector<std::string> args;
  for (std::size_t i = 0; i < sizeof kFuzzIntegerOptions / sizeof kFuzzIntegerOptions[0]; ++i) {
    const FuzzIntegerOption& option = kFuzzIntegerOptions[i];
    if (bytes[i] != 0) {
      const int value = option.low + (bytes[i] - 1) % option.span;
      args.push_back(std::string("-") + option.letter + std::to_string(value));
    }
  }
  const int timing = bytes[kTimingByte];
  if (timing % 2 == 1) {
    args.push_back("-b" + std::to_string((timing / 2) * 9 - 20));
  } else if (timing != 0) {
    args.push_back("-i" + std::to_string((timing / 2) / 14.0));
  }
  static const char* const kVerbosity[] = {nullptr, "-v", "-V"};
  if (const char* flag = kVerbosity[bytes[kVerbosityByte] % 3]) {
    args.push_back(flag);
  }
  return args;
}

// The byte that makes option `index` of kFuzzIntegerOptions take `value`.
inline std::uint8_t fuzzOptionByte(std::size_t index, int value) {
  return static_cast<std::uint8_t>(value - kFuzzIntegerOptions[index].low + 1);
}
