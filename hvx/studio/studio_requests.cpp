#include "hvx/studio/studio_requests.h"

#include <cmath>
#include <stdexcept>

namespace {

using nlohmann::json;

// A whole number in the request, or `fallback` when absent. Values far
// outside any option's range are still passed on: tonepix clamps them.
long long integerField(const json& body, const char* key, long long fallback) {
  if (!body.contains(key)) {
    return fallback;
  }
  const json& value = body.at(key);
  if (value.is_number_integer()) {
    return value.get<long long>();
  }
  if (value.is_number_float() && std::isfinite(value.get<double>()) &&
      std::fabs(value.get<double>()) < 1e15) {
    return std::llround(value.get<double>());
  }
  throw std::invalid_argument(std::string(key) + " must be a whole number");
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
    const long long rows = integerField(body, "rows", 0);
    if (rows < 0 || rows > maxPreparedRows(false)) {
      error = "Rows must be 1 to " + std::to_string(maxPreparedRows(false)) +
              ", or 0 to keep the shape.";
      return false;
    }
    request.prepare.rows = static_cast<int>(rows);
    request.prepare.topFirst = flagField(body, "topFirst", false);
    request.prepare.invert = flagField(body, "invert", false);
    ToneOptions& tone = request.tone;
    tone.harmonics = integerField(body, "harmonics", tone.harmonics);
    tone.useTempo = flagField(body, "useTempo", tone.useTempo);
    tone.interval = textField(body, "interval", tone.interval);
    tone.bpm = integerField(body, "bpm", tone.bpm);
    tone.plateau = integerField(body, "plateau", tone.plateau);
    tone.mute = integerField(body, "mute", tone.mute);
    tone.random = integerField(body, "random", tone.random);
    tone.noiseFloor = integerField(body, "noiseFloor", tone.noiseFloor);
    tone.ceiling = integerField(body, "ceiling", tone.ceiling);
    tone.detune = integerField(body, "detune", tone.detune);
    // Plateau mode takes fewer rows; tonepix turns a non-zero value into it
    // after clamping, and a negative one clamps to off.
    request.prepare.plateau = tone.plateau > 0;
    const long long seed = integerField(body, "seed", 1);
    if (seed < 0 || seed > 4294967295LL) {
      error = "The seed must be a whole number from 0 to 4294967295.";
      return false;
    }
    request.seed = static_cast<std::uint32_t>(seed);
    const json hold = body.value("hold", json(2.0));
    if (!hold.is_number() || !(hold.get<double>() >= 0.0) ||
        hold.get<double>() > kMaxPreviewHoldSeconds) {
      error = "The hold must be between 0 and 30 seconds.";
      return false;
    }
    request.holdSeconds = hold.get<double>();
  } catch (const std::exception&) {  // a field of the wrong type
    error = "The request was not understood.";
    return false;
  }
  return true;
}

json toneOptionsJson(const ToneOptions& tone) {
  return json{{"harmonics", tone.harmonics}, {"useTempo", tone.useTempo},
              {"interval", tone.interval},   {"bpm", tone.bpm},
              {"plateau", tone.plateau},     {"mute", tone.mute},
              {"random", tone.random},       {"noiseFloor", tone.noiseFloor},
              {"ceiling", tone.ceiling},     {"detune", tone.detune}};
}

json studioResultJson(const StudioResult& result, bool canSave) {
  const std::string base = "api/result/" + result.id + "/";
  std::string command = "tonepix";
  for (const std::string& text : result.optionTexts) {
    command += " " + text;
  }
  command += " " + result.name + ".bmp";
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
  return json{{"result", result.id},
              {"name", result.name},
              {"command", command},
              {"summary", result.conversion.summary},
              {"messages", result.conversion.messages},
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
              {"previewError", result.previewError},
              {"canSave", canSave}};
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
  switch (file) {
    case ResultFile::Voice:
      return {result.conversion.voice, "application/octet-stream", result.name + ".hvx"};
    case ResultFile::Bitmap:
      return {result.bitmap, "image/bmp", result.name + ".bmp"};
    case ResultFile::Preview:
      return {result.previewAudio != nullptr ? result.previewAudio->wav() : std::string(),
              "audio/wav", result.name + ".wav"};
    case ResultFile::VoicePicture:
      return {result.voicePng, "image/png", result.name + ".png"};
  }
  return {result.conversion.voice, "application/octet-stream", result.name + ".hvx"};
}
