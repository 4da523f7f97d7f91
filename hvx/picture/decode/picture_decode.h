#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hvx/picture/decode/picture_screen.h"

// A picture decoded to grey levels as a viewer shows it: upright by its EXIF
// orientation, 16-bit levels and PNM white points scaled to 0..255, colours
// made grey by luma, transparency laid over black.
struct GreyPicture {
  int width = 0, height = 0;
  std::vector<float> levels;  // width * height, top row first, 0..255
};

// Decodes a picture that screenPicture accepted. `invert` makes dark loud;
// it comes before the transparency, so transparent parts stay silent. False
// with a one-line `error` when the data turns out damaged.
bool decodeGreyPicture(const unsigned char* data, std::size_t size, const PictureScreen& screen,
                       bool invert, GreyPicture& out, std::string& error);
