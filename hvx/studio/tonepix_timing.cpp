#include "hvx/studio/tonepix_timing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/number_text.h"
#include "cli/option_table.h"

namespace {

// Longest interval text given rather than a tempo that says it exactly.
constexpr std::size_t kPlainIntervalText = 5;

// The interval as tonepix's -i sets it from `text`, out-of-range values
// clamped to the bound.
bool intervalTextGives(const std::string& text, float interval) {
  const ToneOption& option = *findToneOption('i');
  const double seconds = readDecimal(text.c_str());
  float set = static_cast<float>(seconds);
  if (!(seconds >= option.low)) {
    set = static_cast<float>(option.low);
  } else if (seconds > option.high) {
    set = static_cast<float>(option.high);
  }
  return set == interval;
}

}  // namespace

bool chooseToneTiming(float interval, ToneOptions& tone) {
  std::string text;
  for (int digits = 1; digits <= 9 && text.empty(); ++digits) {
    char number[32];
    std::snprintf(number, sizeof number, "%.*g", digits, static_cast<double>(interval));
    if (intervalTextGives(number, interval)) {
      text = number;
    }
  }
  const ToneOption& tempo = *findToneOption('b');
  long long bpm = 0;
  if (interval > 0.0f) {
    const double guess = std::round(60.0 / static_cast<double>(interval));
    for (double b = guess - 1.0; b <= guess + 1.0 && bpm == 0; b += 1.0) {
      if (b >= tempo.low && b <= tempo.high && static_cast<float>(60.0 / b) == interval) {
        bpm = static_cast<long long>(b);
      }
    }
  }
  if (bpm != 0 && (text.empty() || text.size() > kPlainIntervalText)) {
    tone.useTempo = true;
    tone.whole('b') = bpm;
    return true;
  }
  tone.interval = text;
  return !text.empty();
}

bool nonDefaultOptionTexts(const ToneOptions& tone, std::vector<std::string>& texts) {
  std::vector<std::string> all;
  std::vector<std::string> defaults;
  std::string error;
  if (!toneOptionTexts(tone, all, error) || !toneOptionTexts(ToneOptions(), defaults, error)) {
    return false;
  }
  texts.clear();
  for (const std::string& text : all) {
    if (std::find(defaults.begin(), defaults.end(), text) == defaults.end()) {
      texts.push_back(text);
    }
  }
  return true;
}
