#include "hvx/voice/voice_file.h"

#include <filesystem>

#include "hvx/files/file_io.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"

bool loadVoiceFile(const std::string& path, Voice& voice, std::string& problem) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!error && size > kLargestVoiceFileBytes) {
    problem = "not a voice file: " + std::to_string(size) + " bytes, more than any voice takes (" +
              std::to_string(kLargestVoiceFileBytes) + ")";
    return false;
  }
  std::string bytes;
  if (!readWholeFile(path, bytes, problem)) {
    return false;
  }
  VoiceReadError readError;
  if (!readVoice(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), voice,
                 readError)) {
    problem = describeVoiceReadError(readError);
    return false;
  }
  return true;
}
