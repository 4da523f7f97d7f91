#include "hvx/voice/voice_file.h"

#include <cstring>

#include "hvx/files/file_io.h"
#include "hvx/files/safe_write.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"
#include "voice/voice_writer.h"

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

std::string voiceNameOf(const Voice& voice) {
  return std::string(voice.name, strnlen(voice.name, sizeof voice.name));
}

std::string encodeVoiceFile(const Voice& voice) {
  VoiceWriter writer;
  if (!writer.openInMemory() || !encodeVoice(voice, writer) || !writer.assembledWhole()) {
    return std::string();
  }
  return std::string(reinterpret_cast<const char*>(writer.assembled()),
                     static_cast<std::size_t>(writer.encodedLength()));
}

bool writeVoiceFile(const std::string& path, const Voice& voice, std::string& error) {
  const std::string bytes = encodeVoiceFile(voice);
  if (bytes.empty()) {
    error = "cannot be written: the voice does not fit a voice file";
    return false;
  }
  return writeFileSafely(path, bytes, error);
}
