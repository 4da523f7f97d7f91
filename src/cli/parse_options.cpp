#include <cstring>

#include "cli/converter.h"
#include "cli/number_text.h"
#include "cli/option_table.h"

namespace {

// The Converter field a whole-number option sets.
std::int32_t& integerSetting(Converter& converter, char letter) {
  switch (letter) {
    case 'f':
      return converter.freqDelta;
    case 'n':
      return converter.normalizePercent;
    case 'd':
      return converter.decimatePercent;
    case 'r':
      return converter.randomPercent;
    case 'z':
      return converter.noiseFloorPercent;
    case 't':
      return converter.harmonicCount;
    case 'b':
      return converter.bpm;
    case 'p':
    default:  // the table has no other integer option
      return converter.plateauPercent;
  }
}

ParseOutcome error(int code) { return ParseOutcome{ParseOutcome::Kind::Error, code}; }

}  // namespace

void Converter::setSecondsOption(const ToneOption& option, double seconds) {
  if (!(seconds >= option.low)) {  // not a number reads as too low
    interval = static_cast<float>(option.low);
    say(log, option.lowMessage, option.low);
  } else if (seconds > option.high) {
    interval = static_cast<float>(option.high);
    say(log, option.highMessage, option.high);
  } else {
    interval = static_cast<float>(seconds);
  }
}

// Stored first and replaced when out of range, with exactly one warning.
void Converter::setWholeOption(const ToneOption& option, std::int32_t value) {
  std::int32_t& field = integerSetting(*this, option.letter);
  field = value;
  if (field < option.low) {
    field = static_cast<std::int32_t>(option.low);
    say(log, option.lowMessage, static_cast<int>(field));
  } else if (field > option.high) {
    field = static_cast<std::int32_t>(option.high);
    say(log, option.highMessage, static_cast<int>(field));
  }
}

void Converter::settleTiming() {
  if (bpm != optionDefault('b')) {
    interval = static_cast<float>(60.0 / static_cast<double>(bpm));
  }
}

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
    const char* text = arg + 1;
    const ToneOption* option = findToneOption(text[0]);
    if (option == nullptr) {
      say(log, "Unknown argument: %s\n", text);
      return error(kUnknownOption);
    }
    const char* valueText = text + 1;
    if (option->value == OptionValue::None) {
      // Any text after a flag's letter is ignored: -vx acts as -v.
      if (option->letter == 'h') {
        return ParseOutcome{ParseOutcome::Kind::Help, 0};
      }
      verbosity = option->letter == 'V' ? 2 : 1;
    } else if (*valueText == '\0') {
      return error(option->missingValueCode);
    } else if (option->value == OptionValue::Seconds) {
      setSecondsOption(*option, readDecimal(valueText));
    } else {
      setWholeOption(*option, readInteger(valueText));
    }
  }
  // The tempo, once set, wins over -i wherever it stands on the command line.
  settleTiming();
  return ParseOutcome{ParseOutcome::Kind::FirstFile, index};
}
