#include "hvx/voice/voice_file.h"

#include "hvx/files/file_io.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"

bool loadVoiceFile(const std::string& path, Voice& voice, std::string& problem) {
  std::string bytes;
  const FileRead outcome = readFileUpTo(path, kLargestVoiceFileBytes, bytes, problem);
  if (outcome == FileRead::TooLarge) {
    problem = "not a voice file: more than any voice takes (" +
              std::to_string(kLargestVoiceFileBytes) + " bytes)";
  }
  if (outcome != FileRead::Read) {
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
