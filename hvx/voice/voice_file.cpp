#include "hvx/voice/voice_file.h"

#include "hvx/files/file_io.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"

bool loadVoiceFile(const std::string& path, Voice& voice, std::string& problem) {
  std::string bytes;
  if (!readFileUpTo(path, kLargestVoiceFileBytes, bytes, problem)) {
    return false;
  }
  if (bytes.size() > kLargestVoiceFileBytes) {
    problem = "not a voice file: more than any voice takes (" +
              std::to_string(kLargestVoiceFileBytes) + " bytes)";
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
