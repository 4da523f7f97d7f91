// Arbitrary bytes as a voice file. The reader must either refuse them with one
// line and an offset inside the input, or accept a voice that the writer
// turns back into exactly the same bytes. With hvx built, the bytes also go
// the way hvx reads a file, which must agree, and an accepted voice through
// everything hvx does with it: info's text and JSON, the picture, a short
// preview.
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
#include "voice/voice_writer.h"

#ifdef FUZZ_WITH_HVX
#include "hvx/audio/voice_render.h"
#include "hvx/voice/voice_file.h"
#include "hvx/voice/voice_json.h"
#include "hvx/voice/voice_picture.h"
#include "hvx/voice/voice_summary.h"
#endif

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

#ifdef FUZZ_WITH_HVX
std::string gInputPath;

// hvx's own reading of the same bytes from a file: the same verdict.
void readAsHvx(const std::uint8_t* data, std::size_t size, bool accepted) {
  {
    std::ofstream file(gInputPath, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  static const std::unique_ptr<Voice> voice(new Voice);
  std::string problem;
  if (loadVoiceFile(gInputPath, *voice, problem) != accepted) {
    std::abort();
  }
}

// Everything hvx shows of a voice; the preview kept short so that each input
// stays quick (the time bound itself is the renderer's).
void showAsHvx(const Voice& voice) {
  summarizeVoice(voice);
  voiceToJson(voice).dump(1, ' ', false, nlohmann::detail::error_handler_t::replace);
  drawVoicePng(voice, PictureSettings{});
  RenderSettings settings;
  settings.sampleRate = kMinSampleRate;
  settings.holdSeconds = 0.05;
  if (renderProblem(voice, settings).empty() && renderedSampleCount(voice, settings) <= 16000) {
    const RenderedAudio audio = renderVoice(voice, settings);
    if (!(audio.peak >= 0.0 && audio.peak < 1e30)) {
      std::abort();  // a preview that took the voice must stay finite
    }
  }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::error_code error;
  std::string pattern =
      (std::filesystem::temp_directory_path(error) / "tonepix-fuzz-voice-XXXXXX").string();
  if (error || mkdtemp(pattern.data()) == nullptr) {
    std::abort();
  }
  gVoicePath = pattern + "/voice.hvx";
#ifdef FUZZ_WITH_HVX
  gInputPath = pattern + "/input.hvx";
#endif
  std::atexit(removeScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::unique_ptr<Voice> voice(new Voice);
  VoiceReadError error;
  const bool accepted = readVoice(data, size, *voice, error);
#ifdef FUZZ_WITH_HVX
  readAsHvx(data, size, accepted);
  if (accepted) {
    showAsHvx(*voice);
  }
#endif
  if (!accepted) {
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
