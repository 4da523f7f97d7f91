#include "studio_preview.h"

#include <memory>

#include "audio_encoding.h"
#include "voice/voice_reader.h"
#include "voice_picture.h"
#include "voice_render.h"

namespace {

// The rate `hvx render` uses by default, so that the preview holds the same
// harmonics (those below 24 kHz) as a rendered file.
constexpr int kPreviewSampleRate = RenderSettings{}.sampleRate;

}  // namespace

VoicePreview previewVoice(const std::string& voiceFile, double holdSeconds, bool topFirst) {
  VoicePreview preview;
  auto voice = std::make_unique<Voice>();  // too big for a stack
  VoiceReadError readError;
  if (!readVoice(reinterpret_cast<const unsigned char*>(voiceFile.data()), voiceFile.size(), *voice, readError)) {
    preview.error = "The voice could not be read back: " + describeVoiceReadError(readError) + ".";
    return preview;
  }
  RenderSettings settings;
  settings.holdSeconds = holdSeconds;
  settings.sampleRate = kPreviewSampleRate;
  settings.normalize = true;
  const std::string problem = renderProblem(*voice, settings);
  if (!problem.empty()) {
    preview.error = "No preview: " + problem + ".";
    return preview;
  }
  const RenderedAudio audio = renderVoice(*voice, settings);
  preview.wav = encodeWav(audio);
  preview.seconds = static_cast<double>(audio.samples.size()) / static_cast<double>(audio.sampleRate);
  PictureSettings drawing;
  drawing.topFirst = topFirst;
  preview.png = drawVoicePng(*voice, drawing);
  return preview;
}
