#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hvx/picture/picture_limits.h"

// Turning any picture into the grey grid tonepix reads: 64 columns (harmonic
// 1 on the left), one row per envelope point, one grey level per cell.

struct PrepareSettings {
  int rows = 0;           // 1..maxPreparedRows; 0: the height that keeps the picture's shape
  bool topFirst = false;  // the picture's top row is the first envelope point
  bool plateau = false;   // at most the rows tonepix takes in plateau mode
  bool invert = false;    // dark is loud
  std::size_t maxSourcePixels = kMaxSourcePixels;
};

struct PreparedPicture {
  int sourceWidth = 0, sourceHeight = 0;
  int rows = 0;                    // 1..maxPreparedRows
  bool capped = false;             // the shape asked for more rows than allowed
  int uncappedRows = 0;            // the rows the shape asked for
  std::vector<std::uint8_t> grid;  // rows * 64 grey levels, grid[p * 64 + h]: point p, harmonic h+1
};

// The most rows a prepared picture may have, with or without plateau mode:
// every row tonepix hears (126, or 62 in plateau mode).
int maxPreparedRows(bool plateau);

// Decodes a PNG, JPEG, BMP (any depth, palette, RLE), GIF (first frame), TGA
// or PNM picture from memory, upright as a viewer shows it, and prepares it.
// False with a one-sentence `error` when the picture cannot be read, asks for
// more work than the limits allow, or the settings are out of range.
bool preparePicture(const unsigned char* data, std::size_t size, const PrepareSettings& settings,
                    PreparedPicture& out, std::string& error);

// The exact bytes of the bitmap tonepix reads as drawn: 54-byte header,
// identity grey palette, pixels at 1078, grid row 0 as the file's first row.
std::string encodePreparedBitmap(const PreparedPicture& picture);
