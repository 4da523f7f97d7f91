#include <cstring>

#include "cli/converter.h"
#include "cli/number_text.h"

namespace {

// Exit codes for an option that lacks its value.
constexpr int kMissingTimingValue = 7;
constexpr int kMissingShapingValue = 8;
constexpr int kArgumentTooShort = -2;
constexpr int kUnknownOption = -20;

// Every option that takes a value: the exit code when the value is missing
// and, for the integer options, the range and the warnings written when a
// value is clamped.
struct ValueOption {
  char letter;
  int missingValueCode;
  std::int32_t Converter::*field;  // null for -i, the one decimal option
  std::int32_t low;
  std::int32_t high;
  const char* lowMessage;  // printed as they stand
  const char* highMessage;
};

// clang-format off
constexpr ValueOption kValueOptions[] = {
    {'f', kMissingShapingValue, &Converter::freqDelta, 0, kMaxDetunePerMille,
     "-f: frequency delta too low, defaulting to 0 (off)\n",
     "-f: frequency delta too high, defaulting to 100\n"},
    {'n', kMissingShapingValue, &Converter::normalizePercent, 1, 100,
     "-n: normalization ceiling too low, defaulting to 1%\n",
     "-n: normalization ceiling too high, defaulting to 100%\n"},
    {'d', kMissingShapingValue, &Converter::decimatePercent, 0, 100,
     "-d: decimate factor too low, defaulting to 0%\n",
     "-d: decimate factor too high, defaulting to 100%\n"},
    {'r', kMissingShapingValue, &Converter::randomPercent, 0, 100,
     "-r: randommate factor too low, defaulting to 0%\n",
     "-r: randommate factor too high, defaulting to 100%\n"},
    {'z', kMissingShapingValue, &Converter::noiseFloorPercent, 0, 99,
     "-z: noise floor too low, defaulting to 0%\n",
     "-z: noise floor too high, defaulting to 99%\n"},
    {'t', kMissingTimingValue, &Converter::harmonicCount, 1, kMaxHarmonics,
     "-t: harmonic too low, defaulting to 1\n",
     "-t: harmonic too high, defaulting to 64\n"},
    {'b', kMissingTimingValue, &Converter::bpm, 10, 1000,
     "-b: bpm too low, defaulting to 10\n",
     "-b: bpm too high, defaulting to 1000\n"},
    {'p', kMissingTimingValue, &Converter::plateauPercent, 0, 100,
     "-p: plateau time % too low, defaulting to 0% (off)\n",
     "-p: plateau time % too high, defaulting to 100% (full)\n"},
    {'i', kMissingTimingValue, nullptr, 0, 0, nullptr, nullptr},
};
// clang-format on

const ValueOption* findValueOption(char letter) {
  for (const ValueOption& option : kValueOptions) {
    if (option.letter == letter) {
      return &option;
    }
  }
  return nullptr;
}

// The interval's bounds are single-precision values; the parsed double is
// compared with them as they are.
constexpr float kIntervalLow = 0.1f;
constexpr float kIntervalHigh = 8.0f;

void setInterval(Converter& converter, const char* valueText) {
  const double value = readDecimal(valueText);
  if (!(value >= static_cast<double>(kIntervalLow))) {
    converter.interval = kIntervalLow;
    std::fprintf(converter.log, "-i: interval too low, defaulting to 0.1 sec\n");
  } else if (value > static_cast<double>(kIntervalHigh)) {
    converter.interval = kIntervalHigh;
    std::fprintf(converter.log, "-i: interval too high, defaulting to 8 sec\n");
  } else {
    converter.interval = static_cast<float>(value);
  }
}

void setInteger(Converter& converter, const ValueOption& option, const char* valueText) {
  std::int32_t& field = converter.*option.field;
  field = readInteger(valueText);
  if (field < option.low) {
    field = option.low;
    std::fprintf(converter.log, "%s", option.lowMessage);
  } else if (field > option.high) {
    field = option.high;
    std::fprintf(converter.log, "%s", option.highMessage);
  }
}

ParseOutcome error(int code) { return ParseOutcome{ParseOutcome::Kind::Error, code}; }

}  // namespace

ParseOutcome Converter::parseOptions(int argc, const char* const* argv) {
  int index = 1;
  for (; index < argc; ++index) {
    const char* arg = argv[index];
    if (std::strlen(arg) < 2) {
      return error(kArgumentTooShort);
    }
    if (arg[0] != '-') {
      break;
    }
    // The option text is examined in place, whatever its length.
    const char* option = arg + 1;
    const char letter = option[0];
    const char* valueText = option + 1;
    const bool hasValue = *valueText != '\0';

    if (letter == 'v') {
      verbosity = 1;
    } else if (letter == 'V') {
      verbosity = 2;
    } else if (letter == 'h') {
      return ParseOutcome{ParseOutcome::Kind::Help, 0};
    } else {
      const ValueOption* valueOption = findValueOption(letter);
      if (valueOption == nullptr) {
        std::fprintf(log, "Unknown argument: %s\n", option);
        return error(kUnknownOption);
      }
      if (!hasValue) {
        return error(valueOption->missingValueCode);
      }
      if (valueOption->field == nullptr) {
        setInterval(*this, valueText);
      } else {
        setInteger(*this, *valueOption, valueText);
      }
    }
  }
  // The tempo wins over -i wherever it stands on the command line.
  if (bpm != -1) {
    interval = static_cast<float>(60.0 / static_cast<double>(bpm));
  }
  return ParseOutcome{ParseOutcome::Kind::FirstFile, index};
}
