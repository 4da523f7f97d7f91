#pragma once

#include <string>

// What the page plays and shows for one voice file.
struct VoicePreview {
  std::string wav;  // the voice rendered with its sustain held
  std::string png;  // the voice drawn as `hvx picture` draws it
  double seconds = 0.0;
  std::string error;  // one sentence when the voice could not be read
};

// Reads `voiceFile` (the bytes tonepix wrote) back, renders it with its
// sustain held `holdSeconds`, and draws it with the first point at the top or
// at the bottom, as the page shows the picture.
VoicePreview previewVoice(const std::string& voiceFile, double holdSeconds, bool topFirst);
