// hvx check: the verdict for each way a bitmap can be misread or refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hvx/picture/bitmap_check.h"
#include "hvx_pictures.h"
#include "image/bitmap_writer.h"

namespace {

using Verdict = BitmapReport::Verdict;

void putLE32(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
  }
}

std::string greyBitmap(int rows) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * rows));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>(i % 200);  // levels 200..255 unused
  }
  return makeBitmap(64, rows, pixels);
}

// A larger info header pushes the palette and the pixels back.
std::string withHeaderSize(std::uint32_t size) {
  std::string bytes = greyBitmap(8);
  bytes.insert(54, std::string(size - 40, '\0'));
  putLE32(bytes, 14, size);
  putLE32(bytes, 10, 1078 + size - 40);
  return bytes;
}

// Only the greys in use, in their own order: pixel bytes are palette positions.
std::string cutPalette() {
  std::string bytes = greyBitmap(8);
  const std::size_t entries = 200;
  for (std::size_t i = 0; i < entries; ++i) {
    bytes.replace(54 + 4 * i, 3, 3, static_cast<char>(255 - i));
  }
  bytes.erase(54 + entries * 4, (256 - entries) * 4);
  putLE32(bytes, 10, static_cast<std::uint32_t>(54 + entries * 4));
  putLE32(bytes, 46, entries);
  return bytes;
}

TEST(HvxCheck, VerdictForEachWayABitmapIsMisreadOrRefused) {
  std::string offGrey = greyBitmap(8);
  offGrey[54 + 4 * 7 + 1] = 16;  // entry 7's green
  std::string unusedOffGrey = greyBitmap(8);
  unusedOffGrey[54 + 4 * 230] = 0;  // no pixel is 230
  std::string topDown = greyBitmap(8);
  putLE32(topDown, 22, static_cast<std::uint32_t>(-8));
  std::string core = greyBitmap(8);
  putLE32(core, 14, 12);
  const std::vector<std::uint8_t> rgb(64 * 8 * 3, 200);

  struct Case {
    const char* name;
    std::string file;
    Verdict verdict;
    const char* reason;  // a part of the first reason
  };
  const std::vector<Case> cases = {
      {"grey bitmap", greyBitmap(8), Verdict::Ok, ""},
      {"off grey where no pixel uses it", unusedOffGrey, Verdict::Ok, ""},
      {"65 rows: fine, but not for plateau mode", greyBitmap(65), Verdict::Ok, ""},
      {"24-bit pixels", bmp24File(64, 8, rgb), Verdict::Misread, "24 bits per pixel"},
      {"RLE8", rleBmpFile(64, 8, false, {{0, 0, 0}, {9, 9, 9}}, std::vector<std::uint8_t>(512, 1)),
       Verdict::Misread, "RLE8 compressed"},
      {"108-byte header", withHeaderSize(108), Verdict::Misread, "pixel data at byte 1146"},
      {"124-byte header", withHeaderSize(124), Verdict::Misread, "pixel data at byte 1162"},
      {"palette cut to the greys in use", cutPalette(), Verdict::Misread, "pixel data at byte 854"},
      {"palette entry off grey", offGrey, Verdict::Misread,
       "palette entry 7 is off grey level 7 by 9"},
      {"truncated", greyBitmap(8).substr(0, 1078 + 400), Verdict::Misread, "ends 112 bytes early"},
      {"top-down rows", topDown, Verdict::Skipped, "top-down"},
      {"63 wide", makeBitmap(63, 8, std::vector<std::uint8_t>(63 * 8)), Verdict::Skipped,
       "63 pixels wide"},
      {"129 rows", greyBitmap(129), Verdict::Skipped, "129 rows"},
      {"12-byte header", core, Verdict::Skipped, "12-byte header"},
      {"no bitmap", "GIF89a", Verdict::Skipped, "not a bitmap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BitmapReport report = checkBitmap(c.file);
    EXPECT_EQ(report.verdict, c.verdict);
    EXPECT_EQ(report.reasons.empty(), c.verdict == Verdict::Ok);
    if (!report.reasons.empty()) {
      EXPECT_NE(report.reasons[0].find(c.reason), std::string::npos) << report.reasons[0];
    }
  }
  EXPECT_FALSE(checkBitmap(greyBitmap(63)).fitsPlateau);
  EXPECT_TRUE(checkBitmap(greyBitmap(62)).fitsPlateau);
  EXPECT_NE(checkBitmap(cutPalette()).reasons.at(1).find("palette entry"), std::string::npos);
}

}  // namespace
