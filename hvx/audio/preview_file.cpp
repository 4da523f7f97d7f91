#include "hvx/audio/preview_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

struct FreeMemory {
  void operator()(float* memory) const { std::free(memory); }
};
using HeldSamples = std::unique_ptr<float, FreeMemory>;

// Room for `count` samples, in huge pages where the system gives them: the
// first touch of every ordinary page costs more than rendering into it. Null
// when there is no room.
HeldSamples holdSamples(std::size_t count) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t bytes = (count * sizeof(float) + kHugePage - 1) / kHugePage * kHugePage;
  HeldSamples held(static_cast<float*>(std::aligned_alloc(kHugePage, bytes)));
#ifdef MADV_HUGEPAGE
  if (held) {
    madvise(held.get(), bytes, MADV_HUGEPAGE);  // only advice: ordinary pages do too
  }
#endif
  return held;
}

// Rendered once into `held`, its peak found on the way; then scaled and
// written a piece at a time, each while it is in the cache.
bool holdPreview(const Voice& voice, const RenderSettings& settings, const std::string& path,
                 AudioFormat format, const HeldSamples& held, PreviewFile& written,
                 std::string& problem) {
  const auto count = static_cast<std::size_t>(written.samples);
  std::size_t filled = 0;
  const bool rendered =
      renderVoicePieces(voice, settings, [&](const float* samples, std::size_t pieceCount) {
        if (pieceCount > count - filled) {
          return false;  // more than the preview holds: never so
        }
        std::memcpy(held.get() + filled, samples, pieceCount * sizeof(float));
        filled += pieceCount;
        written.peak = std::max(written.peak, largestMagnitude(samples, pieceCount));
        return true;
      });
  if (!rendered || filled != count) {
    problem = "cannot render the preview: it came out longer or shorter than it lasts";
    return false;
  }
  written.gain = normalizingGain(written.peak, settings);
  const AudioProducer scaled = [&](const SampleSink& write) {
    for (std::size_t at = 0; at < filled; at += kPreviewPieceSamples) {
      const std::size_t piece = std::min(kPreviewPieceSamples, filled - at);
      written.clipped =
          applyPreviewGain(held.get() + at, piece, written.gain, settings.normalize) ||
          written.clipped;
      if (!write(held.get() + at, piece)) {
        return false;
      }
    }
    return true;
  };
  return writeAudioFile(path, format, settings.sampleRate, scaled, problem);
}

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
  const auto count = static_cast<std::size_t>(written.samples);
  // Without normalizing there is no peak to wait for: one pass either way.
  const HeldSamples held =
      settings.normalize && count <= heldBytes / sizeof(float) ? holdSamples(count) : HeldSamples();
  return held ? holdPreview(voice, settings, path, format, held, written, problem)
              : streamPreview(voice, settings, path, format, written, problem);
}
