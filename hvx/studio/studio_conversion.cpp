#include "hvx/studio/studio_conversion.h"

#include <cstdio>
#include <memory>
#include <mutex>

#include "cli/converter.h"
#include "cli/number_text.h"
#include "common/random_source.h"
#include "hvx/voice/voice_file.h"

namespace {

std::mutex conversionLock;

// Longest interval text passed on; a number needs far fewer characters.
constexpr std::size_t kMaxIntervalText = 32;

bool isDecimalText(const std::string& text) {
  if (text.empty() || text.size() > kMaxIntervalText) {
    return false;
  }
  for (const char c : text) {
    const bool allowed =
        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    if (!allowed) {
      return false;
    }
  }
  return true;
}

// The options the page's timing choice leaves out: the tempo or the interval.
bool passed(const ToneOption& option, const ToneOptions& options) {
  if (option.value == OptionValue::None) {
    return false;
  }
  const char* choice = timingChoice(option);
  return choice == nullptr || options.useTempo == (std::string(choice) == "tempo");
}

// The Converter's messages and summary line, appended to a string.
MessageSink collectInto(std::string& text) {
  MessageSink sink;
  sink.collect = [](void* context, const char* piece, std::size_t length) {
    static_cast<std::string*>(context)->append(piece, length);
  };
  sink.context = &text;
  return sink;
}

// Each option as tonepix's parser would set it from its text, in the order
// the command the page shows gives them.
void setOptions(Converter& converter, const ToneOptions& options) {
  for (std::size_t i = 0; i < kToneOptionCount; ++i) {
    const ToneOption& option = kToneOptions[i];
    if (!passed(option, options)) {
      continue;
    }
    if (option.value == OptionValue::Seconds) {
      converter.setSecondsOption(option, readDecimal(options.interval.c_str()));
    } else {
      // The request brought the value within nine digits: it fits.
      converter.setWholeOption(option, static_cast<std::int32_t>(options.values[i]));
    }
  }
  converter.settleTiming();
}

}  // namespace

const char* timingChoice(const ToneOption& option) {
  if (option.value == OptionValue::Seconds) {
    return "interval";
  }
  return option.letter == 'b' ? "tempo" : nullptr;
}

ToneOptions::ToneOptions() {
  for (std::size_t i = 0; i < kToneOptionCount; ++i) {
    values[i] = static_cast<long long>(kToneOptions[i].initial);
  }
  whole('b') = kStudioStartingTempo;
}

long long& ToneOptions::whole(char letter) { return values[toneOptionIndex(letter)]; }
long long ToneOptions::whole(char letter) const { return values[toneOptionIndex(letter)]; }

std::string defaultIntervalText() {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(optionDefaultSeconds('i')));
  return text;
}

bool toneOptionTexts(const ToneOptions& options, std::vector<std::string>& texts,
                     std::string& error) {
  texts.clear();
  for (std::size_t i = 0; i < kToneOptionCount; ++i) {
    const ToneOption& option = kToneOptions[i];
    if (!passed(option, options)) {
      continue;
    }
    const std::string letter = std::string("-") + option.letter;
    if (option.value == OptionValue::Seconds) {
      if (!isDecimalText(options.interval)) {
        error = "The interval must be a number of seconds, such as 0.3.";
        return false;
      }
      texts.push_back(letter + options.interval);
    } else {
      texts.push_back(letter + std::to_string(options.values[i]));
    }
  }
  return true;
}

ToneConversion convertLikeTonepix(const std::string& bitmap, const std::string& name,
                                  const ToneOptions& options, std::uint32_t seed) {
  ToneConversion result;
  if (!options.useTempo && !isDecimalText(options.interval)) {
    result.error = "The interval must be a number of seconds, such as 0.3.";
    return result;
  }
  // tonepix names the voice from the picture's file name, and its messages
  // name the picture as the user knows it.
  const std::string fileName = name + ".bmp";
  std::string summary;
  int loaded = 0;
  {
    std::lock_guard<std::mutex> hold(conversionLock);
    auto converter = std::make_unique<Converter>();  // its matrices are too big for a stack
    RandomSource::seed(seed);  // after construction, which seeds from the clock
    converter->log = collectInto(result.messages);
    converter->summary = collectInto(summary);
    setOptions(*converter, options);
    result.harmonicCount = converter->harmonicCount;
    result.usedGenerator = converter->freqDelta != 0 || converter->decimatePercent != 0 ||
                           converter->randomPercent != 0;
    result.noiseFloorPercent = converter->noiseFloorPercent;
    result.ceilingPercent = converter->normalizePercent;
    loaded = converter->nameInput(fileName.c_str());
    if (loaded == 0) {
      loaded = converter->loadBitmapBytes(reinterpret_cast<const unsigned char*>(bitmap.data()),
                                          bitmap.size());
    }
    if (loaded == 0) {
      converter->runStages();
      result.loopStartPoint = converter->loopStartPoint;
      result.loopEndPoint = converter->loopEndPoint;
      const Voice* voice = converter->buildVoice();
      if (voice != nullptr) {
        result.voice = encodeVoiceFile(*voice);
      }
    }
  }
  while (!summary.empty() && summary.back() == '\n') {
    summary.pop_back();
  }
  result.summary = summary;
  if (loaded != 0) {
    result.error = "tonepix could not read the prepared picture.";
  } else if (result.voice.empty()) {
    result.error = "tonepix could not assemble the voice.";
  } else {
    result.converted = true;
  }
  return result;
}
