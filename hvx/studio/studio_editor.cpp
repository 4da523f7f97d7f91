#include "hvx/studio/studio_editor.h"

#include <cstring>
#include <memory>

#include "hvx/audio/audio_encoding.h"
#include "hvx/audio/note_name.h"
#include "hvx/audio/voice_render.h"
#include "hvx/picture/picture_prepare.h"
#include "hvx/studio/studio_requests.h"
#include "hvx/voice/voice_json.h"
#include "image/bitmap_format.h"
#include "voice/voice.h"
#include "voice/voice_reader.h"

using nlohmann::json;

namespace {

bool endsWith(const std::string& text, const char* suffix) {
  const std::size_t length = std::strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

}  // namespace

const StudioPageFile* findPageFile(const std::string& path) {
  if (path.size() < 2 || path[0] != '/') {
    return nullptr;
  }
  const std::string name = path.substr(1);
  for (std::size_t i = 0; i < kStudioPageFileCount; ++i) {
    if (name == kStudioPageFiles[i].name && name != "page.html") {
      return &kStudioPageFiles[i];
    }
  }
  return nullptr;
}

const char* pageFileMediaType(const std::string& name) {
  if (endsWith(name, ".js")) {
    return "text/javascript; charset=utf-8";
  }
  if (endsWith(name, ".css")) {
    return "text/css; charset=utf-8";
  }
  return "text/html; charset=utf-8";
}

json editorFacts() {
  return json{{"harmonics", kVoiceHarmonics},
              {"maxRows", maxPreparedRows(false)},
              {"maxPlateauRows", maxPreparedRows(true)},
              {"rowsHeard", kMaxHeardRows},
              {"levels", 256},
              {"baseFrequency", kBaseFrequency},
              {"maxHold", kMaxPreviewHoldSeconds}};
}

bool drawnGridBitmap(const json& body, std::string& name, std::string& bitmap, std::string& error) {
  // value() throws on anything but an object: a grid of 5 is refused, not a fault.
  const json levels = body.is_object() ? body.value("levels", json()) : json();
  const std::size_t maxCells = static_cast<std::size_t>(maxPreparedRows(false)) * kVoiceHarmonics;
  if (!levels.is_array() || levels.empty() || levels.size() > maxCells ||
      levels.size() % kVoiceHarmonics != 0) {
    error = "A drawn grid must be 1 to " + std::to_string(maxPreparedRows(false)) + " rows of " +
            std::to_string(kVoiceHarmonics) + " levels.";
    return false;
  }
  PreparedPicture grid;
  grid.rows = static_cast<int>(levels.size() / kVoiceHarmonics);
  grid.sourceWidth = kVoiceHarmonics;
  grid.sourceHeight = grid.rows;
  grid.uncappedRows = grid.rows;
  grid.grid.reserve(levels.size());
  for (const json& level : levels) {
    if (!level.is_number_integer() || level.get<long long>() < 0 || level.get<long long>() > 255) {
      error = "Every level of a drawn grid must be a whole number from 0 to 255.";
      return false;
    }
    grid.grid.push_back(static_cast<std::uint8_t>(level.get<int>()));
  }
  const json given = body.value("name", json("drawn"));
  name = given.is_string() ? given.get<std::string>() : "drawn";
  bitmap = encodePreparedBitmap(grid);
  return true;
}

namespace {

bool readResultVoice(const StudioResult& result, Voice& voice, std::string& error) {
  VoiceReadError readError;
  const std::string& file = result.conversion.voice;
  if (!readVoice(reinterpret_cast<const unsigned char*>(file.data()), file.size(), voice,
                 readError)) {
    error = "The voice could not be read back: " + describeVoiceReadError(readError) + ".";
    return false;
  }
  return true;
}

}  // namespace

bool resultVoiceJson(const StudioResult& result, std::string& text, std::string& error) {
  auto voice = std::make_unique<Voice>();  // too big for a stack
  if (!readResultVoice(result, *voice, error)) {
    return false;
  }
  // An opened voice's name is the file's bytes, not always UTF-8.
  text = voiceToJson(*voice).dump(-1, ' ', false, json::error_handler_t::replace);
  return true;
}

bool renderResultAtNote(const StudioResult& result, const json& body, std::string& wav,
                        std::string& error) {
  RenderSettings settings;
  settings.normalize = true;
  const json note = body.value("note", json());
  const json frequency = body.value("frequency", json());
  if (note.is_string()) {
    if (!noteFrequency(note.get<std::string>(), settings.frequency)) {
      error = "A note is named like C4, F#3 or Bb2, from C-1 to G9.";
      return false;
    }
  } else if (frequency.is_number() && frequency.get<double>() > 0.0 &&
             frequency.get<double>() < 1e6) {
    settings.frequency = frequency.get<double>();
  } else {
    error = "Name a note (such as C4) or a frequency in hertz.";
    return false;
  }
  if (!previewHoldFromJson(body, settings.holdSeconds, error)) {
    return false;
  }
  auto voice = std::make_unique<Voice>();  // too big for a stack
  if (!readResultVoice(result, *voice, error)) {
    return false;
  }
  const std::string problem = renderProblem(*voice, settings);
  if (!problem.empty()) {
    error = "No preview: " + problem + ".";
    return false;
  }
  wav = encodeWav(renderVoice(*voice, settings));
  if (wav.empty()) {
    error = "The preview could not be encoded.";
    return false;
  }
  return true;
}
