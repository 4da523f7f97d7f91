#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "hvx/studio/studio_session.h"

// The page's controls, as JSON, into one turn of the loop. Missing fields
// keep tonepix's defaults. False with a sentence in `error` for a request
// that is not an object of numbers, flags and texts where expected.
bool studioRequestFromJson(const nlohmann::json& body, StudioRequest& request, std::string& error);

// An edit of an opened voice: {"voice": id, "levels": [rows * columns]
// (absent: as it is), "loopStart": row, "loopEnd": row (absent: as it is),
// "hold": seconds}. False with a sentence in `error`.
bool voiceTurnFromJson(const nlohmann::json& body, VoiceTurn& turn, std::string& error);

// Tone options under the names the page sends them by; the page starts its
// controls from tonepix's defaults this way.
nlohmann::json toneOptionsJson(const ToneOptions& tone);

// The page's controls for tonepix's options, from tonepix's option table:
// each one's request field, letter, label, unit, kind ("whole" or
// "seconds") and timing choice ("interval", "tempo" or null).
nlohmann::json toneControlsJson();

// The preview hold a request asks for ("hold", 2 s when absent). False with
// a sentence in `error` outside 0 .. kMaxPreviewHoldSeconds.
bool previewHoldFromJson(const nlohmann::json& body, double& seconds, std::string& error);

// What the page shows for a result: the summary and messages, the grid, the
// command line that makes the same voice, and where to fetch the files.
nlohmann::json studioResultJson(const StudioResult& result, bool canSave);

// The files of a result the page may fetch, by their name in its address.
enum class ResultFile { Voice, Bitmap, Preview, VoicePicture };
bool resultFileFromName(const std::string& name, ResultFile& file);
// Bytes, media type and download name of one file of a result. The
// preview's bytes are waited for until rendered, and shared, not copied.
struct ResultDownload {
  std::shared_ptr<const std::string> bytes;
  const char* mediaType;
  std::string fileName;
};
ResultDownload resultDownload(const StudioResult& result, ResultFile file);

// Longest preview hold the page may ask for, in seconds.
constexpr double kMaxPreviewHoldSeconds = 30.0;
