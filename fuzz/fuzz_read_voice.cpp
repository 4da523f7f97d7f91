// Arbitrary bytes as a voice file. The reader must either refuse them with one
// line and an offset inside the input, or accept a voice that the writer
// turns back into exactly the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "voice/voice.h"
#include "voice/voice_reader.h"

namespace {

std::string gVoicePath;

void removeScratch() {
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(gVoicePath).parent_path(), error);
}

std::string encodedAgain(const Voice& voice) {
  VoiceWriter writer;
  if (!writer.open(gVoicePath.c_str())) {
    std::abort();
  }
  const bool encoded = encodeVoice(voice, writer);
  if (!writer.close() || !encoded) {
    std::abort();  // a voice the reader accepts must be one the writer can write
  }
  std::ifstream file(gVoicePath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::error_code error;
  std::string pattern =
      (std::filesystem::temp_directory_path(error) / "tonepix-fuzz-voice-XXXXXX").string();
  if (error || mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  gVoicePath = pattern + "/voice.hvx";
  std::atexit(removeScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<Voice> voice(new Voice);
  VoiceReadError error;
  if (!readVoice(data, size, *voice, error)) {
    if (error.problem.empty() || error.offset > size ||
        error.problem.find('\n') != std::string::npos) {
      std::abort();
    }
    return 0;
  }
  const std::string again = encodedAgain(*voice);
  if (again.size() != size || std::memcmp(again.data(), data, size) != 0) {
    std::abort();
  }
  return 0;
}
