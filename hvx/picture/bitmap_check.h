#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What tonepix makes of a bitmap file, and whether that is the picture as
// drawn. tonepix reads width and height from the header, then one byte per
// pixel from byte 1078 on as a grey level; every other field is ignored.
struct BitmapReport {
  // Worst last: Unheard means tonepix reads every row as drawn but the last
  // ones are never heard, its closing points take their places.
  enum class Verdict { Ok, Unheard, Misread, Skipped };
  Verdict verdict = Verdict::Ok;
  std::vector<std::string> reasons;  // empty when ok

  bool isBitmap = false;  // starts with "BM"
  // The file's own description of itself.
  std::int32_t width = 0, height = 0;  // as tonepix reads them
  std::uint32_t headerSize = 0;
  int bitsPerPixel = 0;
  std::uint32_t compression = 0;
  std::uint32_t pixelOffset = 0;
  int paletteEntries = 0;    // 0: none
  int paletteDeviation = 0;  // largest channel distance from grey level = index, over used entries
  int deviantEntry = -1;     // the entry with that distance
  std::size_t missingBytes = 0;  // of the pixel rows tonepix reads
  bool fitsPlateau = false;      // every row is heard in plateau mode
  int firstUnheardRow = 0;       // counting from 1; 0 when every row is heard
};

// `plateau`: judge the file for tonepix -p.
BitmapReport checkBitmap(const std::string& bytes, bool plateau = false);

// The fields above as one line of text, e.g. "64 x 32, 8 bits per pixel, ...".
std::string describeBitmap(const BitmapReport& report);
