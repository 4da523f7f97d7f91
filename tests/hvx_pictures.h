#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Pictures in the formats people hand to hvx, made in memory by the tests.
using Rgb = std::array<std::uint8_t, 3>;

// PNG through the image library's writer; `channels` 1 (grey) to 4 (RGBA).
std::string pngFile(int width, int height, int channels, const std::vector<std::uint8_t>& pixels);
// 24-bit bottom-up BMP through the image library's writer (RGB pixels, top row first).
std::string bmp24File(int width, int height, const std::vector<std::uint8_t>& rgb);
// An indexed-colour PNG: palette, one index per pixel (top row first).
std::string palettePngFile(int width, int height, const std::vector<Rgb>& palette,
                           const std::vector<std::uint8_t>& indices);
// Run-length compressed BMP, 8 bits (RLE8) or 4 bits (RLE4) per index; indices
// top row first. The RLE8 rows mix repeated runs with literal stretches.
std::string rleBmpFile(int width, int height, bool fourBit, const std::vector<Rgb>& palette,
                       const std::vector<std::uint8_t>& indices);

// Every amplitude envelope of a voice file tonepix wrote, harmonic 1 first.
std::vector<std::vector<float>> amplitudeEnvelopes(const std::string& voice);
// The grey level that tonepix -n100 turns into `amplitude`; -1 if none does.
int greyLevelOf(float amplitude);
