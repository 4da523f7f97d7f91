// Writes the sample picture shipped in samples/: 64 harmonics x 32 envelope
// points. Low harmonics are loud and fade slowly, high ones are quiet and
// fade fast, with a swell in the middle rows, so the voice has a shape to hear.
#include <cmath>
#include <cstdio>
#include <vector>

#include "image/bitmap_writer.h"

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "samples/pad.bmp";
  constexpr int kWidth = 64;
  constexpr int kHeight = 32;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kWidth * kHeight));
  for (int row = 0; row < kHeight; ++row) {
    for (int column = 0; column < kWidth; ++column) {
      const double harmonic = column + 1;
      const double time = static_cast<double>(row) / (kHeight - 1);
      const double swell = 0.6 + 0.4 * std::sin(3.14159265358979 * time);
      const double level = swell * std::exp(-time * harmonic / 16.0) / std::sqrt(harmonic);
      pixels[static_cast<std::size_t>(row * kWidth + column)] =
          static_cast<std::uint8_t>(std::lround(255.0 * level));
    }
  }
  if (!writeFileBytes(path, makeBitmap(kWidth, kHeight, pixels))) {
    std::fprintf(stderr, "make_sample: could not write %s\n", path);
    return 1;
  }
  return 0;
}
