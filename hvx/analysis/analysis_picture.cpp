#include "hvx/analysis/analysis_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "hvx/picture/prepared_name.h"
#include "image/bitmap_writer.h"

std::string analysisBitmap(const HarmonicFrames& frames) {
  const int rows = std::min(frames.points, kMaxAnalysisRows);
  const float loudest = loudestAmplitude(frames, rows);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(rows * kPictureWidth), 0);
  if (loudest > 0.0f) {
    for (int p = 0; p < rows; ++p) {
      for (int h = 0; h < kAnalysedHarmonics; ++h) {
        const double level = 255.0 * frames.amplitudeAt(p, h) / loudest;
        pixels[static_cast<std::size_t>(p * kPictureWidth + h)] =
            static_cast<std::uint8_t>(std::clamp(std::lround(level), 0L, 255L));
      }
    }
  }
  std::string bytes = makeBitmap(kPictureWidth, rows, pixels);
  stampBitmap(bytes);
  return bytes;
}

PictureTiming pictureTiming(const NoteParts& parts, double givenInterval) {
  constexpr double kStep = 0.01;
  constexpr double kFinest = 0.1;
  constexpr double kCoarsest = 8.0;
  const double drawn = (parts.body ? parts.noteEnd : parts.end) - parts.onset;
  PictureTiming timing;
  double interval = givenInterval;
  if (!(interval > 0.0)) {
    const double fitting = drawn / (kMaxAnalysisRows - 1);
    interval = std::clamp(std::ceil(fitting / kStep - 1e-9) * kStep, kFinest, kCoarsest);
  }
  timing.interval = static_cast<double>(static_cast<float>(interval));
  timing.rows = pointsFitting(drawn, timing.interval, kMaxAnalysisRows);
  timing.cut = drawn > (kMaxAnalysisRows - 1) * timing.interval + 1e-9;
  return timing;
}

double pictureReference(const HarmonicFrames& frames, int first, int last, double fallback) {
  double weighted = 0.0;
  double squares = 0.0;
  for (int p = std::max(0, first); p <= std::min(last, frames.points - 1); ++p) {
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      const auto level = static_cast<double>(frames.amplitudeAt(p, h));
      const auto number = static_cast<double>(h + 1);
      weighted += level * level * number * static_cast<double>(frames.frequencyAt(p, h));
      squares += level * level * number * number;
    }
  }
  if (!(squares > 0.0)) {
    return fallback;
  }
  // Stretched partials (a piano's) would pull the whole note sharp: it stays
  // within a few cents of the fundamental's pitch.
  constexpr double kMostCents = 10.0;
  const double bound = std::pow(2.0, kMostCents / 1200.0);
  return std::clamp(weighted / squares, fallback / bound, fallback * bound);
}
