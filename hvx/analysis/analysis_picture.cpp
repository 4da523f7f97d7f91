#include "hvx/analysis/analysis_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "hvx/picture/prepared_name.h"
#include "image/bitmap_writer.h"

std::string analysisBitmap(const HarmonicFrames& frames) {
  const int rows = std::min(frames.points, kMaxAnalysisRows);
  float loudest = 0.0f;
  for (int p = 0; p < rows; ++p) {
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      loudest = std::max(loudest, frames.amplitudeAt(p, h));
    }
  }
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
