#include "studio_preview.h"

VoicePreview previewVoice(const std::string& voiceFile, double holdSeconds) {
  (void)voiceFile;
  (void)holdSeconds;
  VoicePreview preview;
  preview.error = "This build has no preview player yet.";
  return preview;
}
