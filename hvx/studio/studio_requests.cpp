#include "hvx/studio/studio_requests.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "hvx/files/shell_word.h"

namespace {

using nlohmann::json;

// tonepix reads option numbers into 32 bits, where a larger value wraps
// ("-t9223372036854775807" would be called too low). Numbers past nine digits
// are brought to nine first, so that tonepix clamps them with the words its
// command line uses ("too high"), and the command shown repeats that.
constexpr long long kLargestPassedNumber = 999999999;

// Saturates far beyond any range checked: a whole number of any size stays
// on its side of every limit.
long long saturated(long double value) {
  constexpr long double kFar = 1e18L;
  return static_cast<long long>(std::max(-kFar, std::min(kFar, std::round(value))));
}

// A whole number in the request, or `fallback` when absent.
long long wholeField(const json& body, const char* key, long long fallback) {
  if (!body.contains(key)) {
    return fallback;
  }
  const json& value = body.at(key);
  if (value.is_number_unsigned()) {
    return saturated(static_cast<long double>(value.get<unsigned long long>()));
  }
  if (value.is_number_integer()) {
    return saturated(static_cast<long double>(value.get<long long>()));
  }
  if (value.is_number_float() && std::isfinite(value.get<double>()) &&
      value.get<double>() == std::floor(value.get<double>())) {
    return saturated(static_cast<long double>(value.get<double>()));
  }
  throw std::invalid_argument(std::string(key) + " must be a whole number");
}

// A tonepix option's number, brought within nine digits.
long long toneField(const json& body, const char* key, long long fallback) {
  return std::max(-kLargestPassedNumber,
                  std::min(kLargestPassedNumber, wholeField(body, key, fallback)));
}

bool flagField(const json& body, const char* key, bool fallback) {
  return body.contains(key) ? body.at(key).get<bool>() : fallback;
}

std::string textField(const json& body, const char* key, const std::string& fallback) {
  if (!body.contains(key)) {
    return fallback;
  }
  const json& value = body.at(key);
  return value.is_number() ? value.dump() : value.get<std::string>();
}

}  // namespace

bool studioRequestFromJson(const json& body, StudioRequest& request, std::string& error) {
  if (!body.is_object()) {
    error = "The request was not understood.";
    return false;
  }
  try {
    request.pictureId = textField(body, "picture", "");
    const long long rows = wholeField(body, "rows", 0);
    if (rows < 0 || rows > maxPreparedRows(false)) {
      error = "Rows must be 1 to " + std::to_string(maxPreparedRows(false)) +
              ", or 0 to keep the shape.";
      return false;
    }
    request.prepare.rows = static_cast<int>(rows);
    request.prepare.topFirst = flagField(body, "topFirst", false);
    request.prepare.invert = flagField(body, "invert", false);
    ToneOptions& tone = request.tone;
    tone.useTempo = flagField(body, "useTempo", tone.useTempo);
    for (std::size_t i = 0; i < kToneOptionCount; ++i) {
      const ToneOption& option = kToneOptions[i];
      if (option.value == OptionValue::Integer) {
        tone.values[i] = toneField(body, option.key, tone.values[i]);
      } else if (option.value == OptionValue::Seconds) {
        tone.interval = textField(body, option.key, tone.interval);
      }
    }
    // Plateau mode takes fewer rows; tonepix turns a non-zero value into it
    // after clamping, and a negative one clamps to off.
    request.prepare.plateau = tone.whole('p') > 0;
    const long long seed = wholeField(body, "seed", 1);
    constexpr long long kLargestSeed = std::numeric_limits<std::uint32_t>::max();
    if (seed < 0 || seed > kLargestSeed) {
      error = "The seed must be a whole number from 0 to " + std::to_string(kLargestSeed) + ".";
      return false;
    }
    request.seed = static_cast<std::uint32_t>(seed);
    if (!previewHoldFromJson(body, request.holdSeconds, error)) {
      return false;
    }
  } catch (const std::exception&) {  // a field of the wrong type
    error = "The request was not understood.";
    return false;
  }
  return true;
}

bool voiceTurnFromJson(const json& body, VoiceTurn& turn, std::string& error) {
  const json id = body.is_object() ? body.value("voice", json()) : json();
  if (!id.is_string()) {
    error = "The request was not understood.";
    return false;
  }
  turn.voiceId = id.get<std::string>();
  const json levels = body.value("levels", json());
  // A voice's grid is at most 128 points of 128 harmonics.
  constexpr std::size_t kMaxCells = std::size_t{kEnvelopeCapacity} * kVoiceSlots * kVoiceHarmonics;
  if (!levels.is_null() && (!levels.is_array() || levels.size() > kMaxCells)) {
    error = "The grid of a voice is a list of levels, row by row.";
    return false;
  }
  turn.edit.levels.clear();
  for (const json& level : levels.is_array() ? levels : json::array()) {
    if (!level.is_number_integer() || level.get<long long>() < 0 || level.get<long long>() > 255) {
      error = "Every level of the grid must be a whole number from 0 to 255.";
      return false;
    }
    turn.edit.levels.push_back(static_cast<std::uint8_t>(level.get<int>()));
  }
  for (const auto& [key, row] : {std::pair<const char*, int*>{"loopStart", &turn.edit.loopStartRow},
                                 {"loopEnd", &turn.edit.loopEndRow}}) {
    const json value = body.value(key, json());
    if (value.is_null()) {
      *row = -1;
    } else if (value.is_number_integer() && value.get<long long>() >= 0 &&
               value.get<long long>() < kEnvelopeCapacity) {
      *row = value.get<int>();
    } else {
      error = "The loop's rows must be whole numbers from 0 to " +
              std::to_string(kEnvelopeCapacity - 1) + ".";
      return false;
    }
  }
  return previewHoldFromJson(body, turn.holdSeconds, error);
}

bool previewHoldFromJson(const json& body, double& seconds, std::string& error) {
  const json hold = body.value("hold", json(2.0));
  if (!hold.is_number() || !(hold.get<double>() >= 0.0) ||
      hold.get<double>() > kMaxPreviewHoldSeconds) {
    error = "The hold must be between 0 and " +
            std::to_string(static_cast<int>(kMaxPreviewHoldSeconds)) + " seconds.";
    return false;
  }
  seconds = hold.get<double>();
  return true;
}

json toneOptionsJson(const ToneOptions& tone) {
  json values{{"useTempo", tone.useTempo}};
  for (std::size_t i = 0; i < kToneOptionCount; ++i) {
    const ToneOption& option = kToneOptions[i];
    if (option.value == OptionValue::Integer) {
      values[option.key] = tone.values[i];
    } else if (option.value == OptionValue::Seconds) {
      values[option.key] = tone.interval;
    }
  }
  return values;
}

json toneControlsJson() {
  json controls = json::array();
  for (const ToneOption& option : kToneOptions) {
    if (option.value == OptionValue::None) {
      continue;
    }
    const char* timing = timingChoice(option);
    controls.push_back(json{{"key", option.key},
                            {"letter", std::string(1, option.letter)},
                            {"label", option.label},
                            {"unit", option.unit},
                            {"kind", option.value == OptionValue::Seconds ? "seconds" : "whole"},
                            {"timing", timing != nullptr ? json(timing) : json(nullptr)}});
  }
  return controls;
}

namespace {

// What the page says about the noise floor against the ceiling, or nothing.
std::string levelsNote(const ToneConversion& conversion) {
  const std::string floor = std::to_string(conversion.noiseFloorPercent);
  const std::string ceiling = std::to_string(conversion.ceilingPercent);
  if (conversion.noiseFloorPercent > conversion.ceilingPercent) {
    return "The noise floor (" + floor + " %) is above the ceiling (" + ceiling +
           " %): every harmonic is cut, so the voice is silent.";
  }
  if (conversion.noiseFloorPercent == conversion.ceilingPercent &&
      conversion.noiseFloorPercent > 0) {
    return "The noise floor equals the ceiling (" + ceiling +
           " %): only full-strength cells are kept, the rest is silent.";
  }
  return "";
}

}  // namespace

namespace {

json openedVoiceJson(const OpenedVoice& opened) {
  const VoiceGrid& grid = opened.grid;
  return json{{"file", opened.fileName},
              {"name", opened.voiceName},
              {"rows", grid.rows},
              {"columns", grid.columns},
              {"loopStart", opened.loopStart},
              {"loopEnd", opened.loopEnd},
              {"loopStartRow", grid.loopStartRow},
              {"loopEndRow", grid.loopEndRow},
              {"loopMovable", !grid.times.empty()},
              {"times", grid.times},
              {"baseFrequency", opened.baseFrequency},
              {"edited", opened.edited},
              {"tonepixMakes", opened.tonepixMakes}};
}

}  // namespace

json studioResultJson(const StudioResult& result, bool canSave) {
  const std::string base = "api/result/" + result.id + "/";
  // tonepix seeds its generator from the clock, so a voice that drew from
  // the studio's needs hvx convert, which seeds it alike before each picture.
  std::string command = result.conversion.usedGenerator
                            ? "hvx convert --seed " + std::to_string(result.seed)
                            : std::string("tonepix");
  for (const std::string& option : result.optionTexts) {
    command += " " + option;
  }
  command += " " + shellWord(result.names.bitmap);
  json grid = json::array();
  for (const std::uint8_t level : result.prepared.grid) {
    grid.push_back(level);
  }
  json files{{"voice", base + "voice.hvx"}, {"bitmap", base + "picture.bmp"}};
  if (result.previewAudio != nullptr) {
    files["preview"] = base + "preview.wav";
  }
  if (!result.voicePng.empty()) {
    files["voicePicture"] = base + "voice.png";
  }
  if (result.opened != nullptr) {
    command = result.opened->tonepixMakes ? command : std::string();
  }
  json answer{{"result", result.id},
              {"name", result.names.stem},
              {"voiceFile", result.names.voice},
              {"bitmapFile", result.names.bitmap},
              {"command", command},
              {"summary", result.conversion.summary},
              {"loopStart", result.conversion.loopStartPoint},
              {"loopEnd", result.conversion.loopEndPoint},
              {"messages", result.conversion.messages},
              {"levelsNote", levelsNote(result.conversion)},
              {"harmonics", result.conversion.harmonicCount},
              {"topFirst", result.topFirst},
              {"prepared",
               {{"sourceWidth", result.prepared.sourceWidth},
                {"sourceHeight", result.prepared.sourceHeight},
                {"rows", result.prepared.rows},
                {"capped", result.prepared.capped},
                {"uncappedRows", result.prepared.uncappedRows},
                {"grid", grid}}},
              {"files", files},
              {"previewSeconds", result.previewSeconds},
              {"previewRate", result.previewRate},
              {"previewError", result.previewError},
              {"canSave", canSave}};
  if (result.opened != nullptr) {
    answer["opened"] = openedVoiceJson(*result.opened);
    if (result.bitmap.empty()) {  // no picture makes it
      answer["files"].erase("bitmap");
    }
  }
  return answer;
}

bool resultFileFromName(const std::string& name, ResultFile& file) {
  if (name == "voice.hvx") {
    file = ResultFile::Voice;
  } else if (name == "picture.bmp") {
    file = ResultFile::Bitmap;
  } else if (name == "preview.wav") {
    file = ResultFile::Preview;
  } else if (name == "voice.png") {
    file = ResultFile::VoicePicture;
  } else {
    return false;
  }
  return true;
}

ResultDownload resultDownload(const StudioResult& result, ResultFile file) {
  const auto copy = [](const std::string& bytes) {
    return std::make_shared<const std::string>(bytes);
  };
  switch (file) {
    case ResultFile::Voice:
      break;
    case ResultFile::Bitmap:
      return {copy(result.bitmap), "image/bmp", result.names.bitmap};
    case ResultFile::Preview:
      return {result.previewAudio != nullptr ? result.previewAudio->wav()
                                             : std::make_shared<const std::string>(),
              "audio/wav", result.names.stem + ".preview.wav"};
    case ResultFile::VoicePicture:
      return {copy(result.voicePng), "image/png", result.names.stem + ".voice.png"};
  }
  return {copy(result.conversion.voice), "application/octet-stream", result.names.voice};
}
