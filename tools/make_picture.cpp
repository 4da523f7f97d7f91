// Writes a test picture in the layout tonepix reads, for the command-line
// cases and scripts:
//   make_picture OUT.bmp HEIGHT [PATTERN] [WIDTH]
// PATTERN is a grey level 0..255 for a flat picture (default 128), "ramp" for
// pixel bytes that step through every level, or "random:SEED" for pseudo-random
// bytes that depend on SEED only.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/bitmap_writer.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr, "usage: make_picture OUT.bmp HEIGHT [LEVEL|ramp|random:SEED] [WIDTH]\n");
    return 2;
  }
  const int height = std::atoi(argv[2]);
  const std::string pattern = argc > 3 ? argv[3] : "128";
  const int width = argc > 4 ? std::atoi(argv[4]) : 64;
  const std::size_t cells = height > 0 && width > 0
                                ? static_cast<std::size_t>(height) * static_cast<std::size_t>(width)
                                : 0;
  std::vector<std::uint8_t> pixels(cells);
  if (pattern == "ramp") {
    for (std::size_t i = 0; i < cells; ++i) {
      pixels[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
  } else if (pattern.rfind("random:", 0) == 0) {
    auto state = static_cast<std::uint32_t>(std::strtoul(pattern.c_str() + 7, nullptr, 10));
    for (std::uint8_t& pixel : pixels) {
      state = state * 1664525u + 1013904223u;
      pixel = static_cast<std::uint8_t>(state >> 24);
    }
  } else {
    const auto level = static_cast<std::uint8_t>(std::atoi(pattern.c_str()));
    for (std::uint8_t& pixel : pixels) {
      pixel = level;
    }
  }
  if (!writeFileBytes(argv[1], makeBitmap(width, height, pixels))) {
    std::fprintf(stderr, "make_picture: could not write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
