#include "hvx/audio/preview_file.h"

#include <algorithm>

namespace {

// Rendered and written a piece at a time: a normalized preview needs its peak,
// and so the gain, from a pass before.
bool streamPreview(const Voice& voice, const RenderSettings& settings, const std::string& path,
                   AudioFormat format, PreviewFile& written, std::string& problem) {
  if (settings.normalize) {
    renderVoicePieces(voice, settings, [&written](const float* samples, std::size_t count) {
      written.peak = std::max(written.peak, largestMagnitude(samples, count));
      return true;
    });
    written.gain = normalizingGain(written.peak, settings);
  }
  const AudioProducer produce = [&](const SampleSink& write) {
    return renderVoicePieces(voice, settings, [&](float* samples, std::size_t count) {
      if (!settings.normalize) {
        written.peak = std::max(written.peak, largestMagnitude(samples, count));
      }
      written.clipped =
          applyPreviewGain(samples, count, written.gain, settings.normalize) || written.clipped;
      return write(samples, count);
    });
  };
  return writeAudioFile(path, format, settings.sampleRate, produce, problem);
}

}  // namespace

bool writePreviewFile(const Voice& voice, const RenderSettings& settings, const std::string& path,
                      AudioFormat format, PreviewFile& written, std::string& problem,
                      std::size_t heldBytes) {
  problem = renderProblem(voice, settings);
  if (!problem.empty()) {
    return false;
  }
  written = PreviewFile{};
  written.samples = renderedSampleCount(voice, settings);
  written.sampleRate = settings.sampleRate;
  const bool fits = static_cast<unsigned long long>(written.samples) <= heldBytes / sizeof(float);
  if (!settings.normalize || !fits) {
    // Without normalizing there is no peak to wait for: one pass either way.
    return streamPreview(voice, settings, path, format, written, problem);
  }
  const RenderedAudio audio = renderVoice(voice, settings);
  written.peak = audio.peak;
  written.gain = audio.gain;
  written.clipped = audio.clipped;
  const AudioProducer whole = [&audio](const SampleSink& write) {
    return write(audio.samples.data(), audio.samples.size());
  };
  return writeAudioFile(path, format, settings.sampleRate, whole, problem);
}
