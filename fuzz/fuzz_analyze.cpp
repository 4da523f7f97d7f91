// Arbitrary bytes as a sound handed to `hvx analyze`: decoded from memory by
// libsndfile, then its pitch found and a few points measured. Whatever comes
// in, a refusal is one line and a measured point holds finite, non-negative
// levels.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hvx/analysis/analysis_picture.h"
#include "hvx/analysis/harmonic_track.h"
#include "hvx/analysis/pitch.h"
#include "hvx/analysis/sound_reader.h"

namespace {
// Enough for every decoder path while keeping each input quick under the
// sanitizers; the full limit only changes how much is read.
constexpr double kFuzzSeconds = 0.5;
constexpr int kFuzzPoints = 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SoundRequest request;
  request.maxLength = kFuzzSeconds;
  Sound sound;
  std::string error;
  if (!readSoundMemory(data, size, request, sound, error)) {
    if (error.empty() || error.find('\n') != std::string::npos) {
      std::abort();  // every refusal says why, in one line
    }
    return 0;
  }
  if (sound.samples.empty() || sound.seconds() > kFuzzSeconds + 1.0 / sound.sampleRate) {
    std::abort();
  }
  double pitch = soundPitch(sound);
  if (pitch == 0.0) {
    pitch = 440.0;  // what --note A4 would say
  }
  const HarmonicFrames frames =
      trackHarmonics(sound, pitch, 0.1, pointsFitting(sound.seconds(), 0.1, kFuzzPoints));
  for (float level : frames.amplitude) {
    if (!(std::isfinite(level) && level >= 0.0f)) {
      std::abort();
    }
  }
  analysisBitmap(frames);
  return 0;
}
