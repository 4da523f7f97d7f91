#include "cli/option_table.h"

#include <cstdio>

void formatOptionHelp(const ToneOption& option, char* line, std::size_t size) {
  if (size == 0) {
    return;
  }
  line[0] = '\0';
  if (option.help == nullptr) {
    return;
  }
  if (option.value == OptionValue::Seconds) {
    std::snprintf(line, size, option.help, option.low, option.high, option.initial);
  } else {
    std::snprintf(line, size, option.help, static_cast<int>(option.initial));
  }
}
