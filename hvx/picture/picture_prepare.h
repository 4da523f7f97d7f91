#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Turning any picture into the grey grid tonepix reads: 64 columns (harmonic
// 1 on the left), one row per envelope point, one grey level per cell.

// Pictures with more pixels than this are refused before they are decoded:
// about 33 megapixels, more than any sensible source for a 64-column grid,
// and it bounds the memory one picture can take (about 8 bytes a pixel).
constexpr std::size_t kMaxSourcePixels = std::size_t{1} << 25;

struct PrepareSettings {
  int rows = 0;           // 1..128; 0: the height that keeps the picture's shape
  bool topFirst = false;  // the picture's top row is the first envelope point
  bool plateau = false;   // at most the rows tonepix takes in plateau mode
  bool invert = false;    // dark is loud
  std::size_t maxSourcePixels = kMaxSourcePixels;
};

struct PreparedPicture {
  int sourceWidth = 0, sourceHeight = 0;
  int rows = 0;                    // 1..128
  bool capped = false;             // the shape asked for more rows than allowed
  int uncappedRows = 0;            // the rows the shape asked for
  std::vector<std::uint8_t> grid;  // rows * 64 grey levels, grid[p * 64 + h]: point p, harmonic h+1
};

// The most rows a prepared picture may have, with or without plateau mode.
int maxPreparedRows(bool plateau);

// Decodes a PNG, JPEG, BMP (any depth, palette, RLE), GIF (first frame), TGA
// or PNM picture from memory and prepares it. False with a one-sentence
// `error` when the picture cannot be read or the settings are out of range.
bool preparePicture(const unsigned char* data, std::size_t size, const PrepareSettings& settings,
                    PreparedPicture& out, std::string& error);

// The exact bytes of the bitmap tonepix reads as drawn: 54-byte header,
// identity grey palette, pixels at 1078, grid row 0 as the file's first row.
std::string encodePreparedBitmap(const PreparedPicture& picture);
