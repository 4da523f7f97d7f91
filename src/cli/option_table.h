#pragma once

#include <cstddef>
#include <cstdint>

#include "common/store_limits.h"

// Every tonepix option in one table: its letter, its value, the exit code when
// the value is missing, its range and default, its help line, the warnings
// written when a value is clamped and the studio's words for it. The parser,
// the Converter's defaults, the help text, the studio's requests and answers
// and the page's controls all read them from here.

// Exit codes of the command-line faults the parser finds.
constexpr int kArgumentTooShort = -2;
constexpr int kUnknownOption = -20;
constexpr int kMissingTimingValue = 7;
constexpr int kMissingShapingValue = 8;

enum class OptionValue { None, Integer, Seconds };

struct ToneOption {
  char letter;
  OptionValue value;
  int missingValueCode;  // 0 for options without a value
  // Range, bounds included, and the Converter's default. The interval's are
  // single-precision values: the parsed double is compared with them as
  // they are, and they are stored as they are.
  double low;
  double high;
  double initial;
  // Format strings. The help line takes the default as an int, or for
  // seconds the range and the default; a warning takes the bound it stores.
  const char* help;  // null: no line of its own
  const char* lowMessage;
  const char* highMessage;
  // The studio's words for it: the field its requests and answers name it
  // by, and the page's label and unit; null for the flags.
  const char* key;
  const char* label;
  const char* unit;
};

// In the order of the help text.
// clang-format off
inline constexpr ToneOption kToneOptions[] = {
    {'h', OptionValue::None, 0, 0, 0, 0, " -h   print this help\n", nullptr, nullptr, nullptr, nullptr, nullptr},
    {'t', OptionValue::Integer, kMissingTimingValue, 1, kMaxHarmonics, kMaxHarmonics,
     " -tN  truncate at N harmonics (default %d)\n",
     "-t: harmonic too low, defaulting to %d\n",
     "-t: harmonic too high, defaulting to %d\n", "harmonics", "Harmonics", ""},
    {'i', OptionValue::Seconds, kMissingTimingValue, 0.1f, 8.0f, 0.3f,
     " -iN  Envelope intervals at N seconds (%.1f..%.1f, default %g sec)\n",
     "-i: interval too low, defaulting to %g sec\n",
     "-i: interval too high, defaulting to %g sec\n", "interval", "Seconds per row", ""},
    // -1: off, the interval comes from -i.
    {'b', OptionValue::Integer, kMissingTimingValue, 10, 1000, -1,
     " -bN  sync to N bpm (default off (uses -i instead))\n",
     "-b: bpm too low, defaulting to %d\n",
     "-b: bpm too high, defaulting to %d\n", "bpm", "Beats per minute", ""},
    {'p', OptionValue::Integer, kMissingTimingValue, 0, 100, 0,
     " -pN  plateau interval length N%% (default %d%% == off)\n",
     "-p: plateau time %% too low, defaulting to %d%% (off)\n",
     "-p: plateau time %% too high, defaulting to %d%% (full)\n", "plateau", "Plateau", "%"},
    {'d', OptionValue::Integer, kMissingShapingValue, 0, 100, 0,
     " -dN  decimate: mute random N%% of harmonics read (default %d%%)\n",
     "-d: decimate factor too low, defaulting to %d%%\n",
     "-d: decimate factor too high, defaulting to %d%%\n", "mute", "Mute", "%"},
    {'r', OptionValue::Integer, kMissingShapingValue, 0, 100, 0,
     " -rN  generate random values for N%% of harmonics (default %d%%)\n",
     "-r: randommate factor too low, defaulting to %d%%\n",
     "-r: randommate factor too high, defaulting to %d%%\n", "random", "Random", "%"},
    {'z', OptionValue::Integer, kMissingShapingValue, 0, 99, 0,
     " -zN  Cut noise threshold at N%% (default %d%%, before normalization)\n",
     "-z: noise floor too low, defaulting to %d%%\n",
     "-z: noise floor too high, defaulting to %d%%\n", "noiseFloor", "Noise floor", "%"},
    {'n', OptionValue::Integer, kMissingShapingValue, 1, 100, 40,
     " -nN  Normalize values to N%% max (default %d%%)\n",
     "-n: normalization ceiling too low, defaulting to %d%%\n",
     "-n: normalization ceiling too high, defaulting to %d%%\n", "ceiling", "Ceiling", "%"},
    {'f', OptionValue::Integer, kMissingShapingValue, 0, kMaxDetunePerMille, 5,
     " -fN  Frequency delta factor of N (default %d, 0 == off)\n",
     "-f: frequency delta too low, defaulting to %d (off)\n",
     "-f: frequency delta too high, defaulting to %d\n", "detune", "Detune", "‰"},
    {'v', OptionValue::None, 0, 0, 0, 0,
     " -v   be verbose (-V: include harmonic dump as well)\n", nullptr, nullptr, nullptr, nullptr,
     nullptr},
    {'V', OptionValue::None, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};
// clang-format on

constexpr std::size_t kToneOptionCount = sizeof kToneOptions / sizeof kToneOptions[0];

// The place of a letter's option in the table; the letter must be known.
constexpr std::size_t toneOptionIndex(char letter) {
  std::size_t index = 0;
  while (index + 1 < kToneOptionCount && kToneOptions[index].letter != letter) {
    ++index;
  }
  return index;
}

// The option of a letter (case matters), or null for a letter tonepix does
// not know.
constexpr const ToneOption* findToneOption(char letter) {
  for (const ToneOption& option : kToneOptions) {
    if (option.letter == letter) {
      return &option;
    }
  }
  return nullptr;
}

// Defaults by letter, for the Converter's fields and the studio's controls.
constexpr std::int32_t optionDefault(char letter) {
  return static_cast<std::int32_t>(findToneOption(letter)->initial);
}
constexpr float optionDefaultSeconds(char letter) {
  return static_cast<float>(findToneOption(letter)->initial);
}

// The option's help line, formatted into `line` (cut to `size`); empty for an
// option without one.
void formatOptionHelp(const ToneOption& option, char* line, std::size_t size);
