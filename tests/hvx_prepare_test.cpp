// hvx prepare: pictures of every kind come back from a tonepix voice exactly
// as the grey levels that prepare wrote, in the documented row order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hvx/picture/bitmap_check.h"
#include "hvx/picture/picture_prepare.h"
#include "hvx_pictures.h"
#include "image/bitmap_writer.h"
#include "test_support.h"

namespace {

using Grid = std::vector<std::uint8_t>;

PreparedPicture prepared(const std::string& file, const PrepareSettings& settings = {}) {
  PreparedPicture picture;
  std::string error;
  EXPECT_TRUE(preparePicture(reinterpret_cast<const unsigned char*>(file.data()), file.size(),
                             settings, picture, error))
      << error;
  return picture;
}

// Rows of a picture given top row first, as the grid holds them: bottom first.
Grid bottomFirst(const Grid& topFirst) {
  Grid grid;
  for (std::size_t row = topFirst.size() / 64; row-- > 0;) {
    grid.insert(grid.end(), topFirst.begin() + static_cast<long>(row * 64),
                topFirst.begin() + static_cast<long>(row * 64 + 64));
  }
  return grid;
}

// The grid tonepix -f0 -n100 reads back from the prepared bitmap's voice.
Grid throughTonepix(const PreparedPicture& picture) {
  TempDir dir;
  EXPECT_TRUE(writeFileBytes(dir.file("p.bmp"), encodePreparedBitmap(picture)));
  const RunResult run = runTonepix({"-f0", "-n100", "p.bmp"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  const auto envelopes = amplitudeEnvelopes(readFileBytes(dir.file("p.hvx")));
  Grid grid(picture.grid.size());
  for (std::size_t p = 0; p < grid.size() / 64; ++p) {
    for (std::size_t h = 0; h < 64; ++h) {
      grid[p * 64 + h] = static_cast<std::uint8_t>(greyLevelOf(envelopes[h].at(p)));
    }
  }
  return grid;
}

Grid pattern(int rows, int (*level)(int x, int y)) {
  Grid grid;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < 64; ++x) {
      grid.push_back(static_cast<std::uint8_t>(level(x, y)));
    }
  }
  return grid;
}

std::vector<Rgb> scrambledGreys(int count) {
  std::vector<Rgb> palette;
  for (int i = 0; i < count; ++i) {
    const auto grey = static_cast<std::uint8_t>((i * 97 + 13) % 256);
    palette.push_back({grey, grey, grey});
  }
  return palette;
}

Grid greysOf(const std::vector<Rgb>& palette, const Grid& indices) {
  Grid grey;
  for (std::uint8_t index : indices) {
    grey.push_back(palette[index][0]);
  }
  return grey;
}

TEST(HvxPrepare, EveryKindOfPictureComesBackExactlyThroughTonepix) {
  const Grid gradient = pattern(40, [](int x, int y) { return (x * 4 + y * 3) % 256; });
  // Opaque black, white, red, green, blue, white at alpha 51, fully transparent white.
  const std::vector<std::uint8_t> rgbaColumns = {0,   0,   0,   255, 255, 255, 255, 255, 255, 0,
                                                 0,   255, 0,   255, 0,   255, 0,   0,   255, 255,
                                                 255, 255, 255, 51,  255, 255, 255, 0};
  const Grid rgbaLevels = {0, 255, 76, 150, 29, 51, 0};
  std::vector<std::uint8_t> rgba;
  Grid transparencyExpected;
  for (int i = 0; i < 64 * 3; ++i) {
    const std::size_t kind = static_cast<std::size_t>(i % 7);
    rgba.insert(rgba.end(), rgbaColumns.begin() + static_cast<long>(kind * 4),
                rgbaColumns.begin() + static_cast<long>(kind * 4 + 4));
    transparencyExpected.push_back(rgbaLevels[kind]);
  }
  std::vector<std::uint8_t> greyRgb;
  for (std::uint8_t level : gradient) {
    greyRgb.insert(greyRgb.end(), {level, level, level});
  }
  // Runs of every length, single pixels included.
  const Grid indices = pattern(9, [](int x, int y) { return (x * x / 9 + y * 5) % 16; });

  struct Case {
    const char* name;
    std::string file;
    Grid topFirst;
  };
  const std::vector<Case> cases = {
      {"grey gradient PNG", pngFile(64, 40, 1, gradient), gradient},
      {"RGBA PNG with transparency", pngFile(64, 3, 4, rgba), transparencyExpected},
      {"palette PNG", palettePngFile(64, 9, scrambledGreys(16), indices),
       greysOf(scrambledGreys(16), indices)},
      {"24-bit BMP", bmp24File(64, 40, greyRgb), gradient},
      {"RLE8 BMP", rleBmpFile(64, 9, false, scrambledGreys(16), indices),
       greysOf(scrambledGreys(16), indices)},
      {"RLE4 BMP", rleBmpFile(64, 9, true, scrambledGreys(16), indices),
       greysOf(scrambledGreys(16), indices)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PreparedPicture picture = prepared(c.file);
    EXPECT_EQ(picture.grid, bottomFirst(c.topFirst));
    EXPECT_EQ(checkBitmap(encodePreparedBitmap(picture)).verdict, BitmapReport::Verdict::Ok);
    EXPECT_EQ(throughTonepix(picture), picture.grid);
  }
}

TEST(HvxPrepare, RowOrderInversionAndTransparency) {
  // Rows 10, 20, 30 from the top; the last column is transparent.
  std::vector<std::uint8_t> rgba;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 64; ++x) {
      const auto level = static_cast<std::uint8_t>(10 * (y + 1));
      rgba.insert(rgba.end(), {level, level, level, static_cast<std::uint8_t>(x == 63 ? 0 : 255)});
    }
  }
  const std::string file = pngFile(64, 3, 4, rgba);
  PrepareSettings settings;
  EXPECT_EQ(prepared(file, settings).grid[0], 30);  // bottom row first
  settings.topFirst = true;
  EXPECT_EQ(prepared(file, settings).grid[0], 10);
  settings.invert = true;
  const PreparedPicture inverted = prepared(file, settings);
  EXPECT_EQ(inverted.grid[0], 245);
  EXPECT_EQ(inverted.grid[63], 0);  // transparent stays silent
  EXPECT_EQ(throughTonepix(inverted), inverted.grid);
}

TEST(HvxPrepare, ResizesByAreaKeepsTheShapeAndCapsTheRows) {
  // Each 2 x 2 block holds base, base + 4 (twice) and base + 8: its average is
  // base + 4. The bases jump about, so that only the block itself counts.
  auto base = [](int x, int y) { return (x * 37 + y * 11) % 60 * 4; };
  std::vector<std::uint8_t> large;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 128; ++x) {
      large.push_back(static_cast<std::uint8_t>(base(x / 2, y / 2) + (x % 2) * 4 + (y % 2) * 4));
    }
  }
  const PreparedPicture shrunk = prepared(pngFile(128, 16, 1, large));
  EXPECT_EQ(shrunk.rows, 8);
  EXPECT_EQ(shrunk.grid,
            bottomFirst(pattern(8, [](int x, int y) { return (x * 37 + y * 11) % 60 * 4 + 4; })));

  const PreparedPicture enlarged = prepared(pngFile(16, 4, 1, std::vector<std::uint8_t>(64, 77)));
  EXPECT_EQ(enlarged.rows, 16);
  EXPECT_EQ(enlarged.grid, Grid(64 * 16, 77));

  const std::string tall = pngFile(8, 100, 1, std::vector<std::uint8_t>(800, 9));
  PreparedPicture capped = prepared(tall);
  EXPECT_TRUE(capped.capped);
  EXPECT_EQ(capped.rows, 126);  // rows 127 and 128 would not be heard
  EXPECT_EQ(capped.uncappedRows, 800);
  PrepareSettings settings;
  settings.plateau = true;
  EXPECT_EQ(prepared(tall, settings).rows, 62);
  settings.rows = 5;
  capped = prepared(tall, settings);
  EXPECT_EQ(capped.rows, 5);
  EXPECT_FALSE(capped.capped);
}

TEST(HvxPrepare, RefusesBadInputWithOneSentence) {
  const std::string png = pngFile(64, 40, 1, pattern(40, [](int x, int y) { return x ^ y; }));
  std::string huge = pngFile(1, 1, 1, {0});
  huge.replace(16, 8, std::string("\x00\x01\x00\x00\x00\x01\x00\x00", 8));  // 65536 x 65536
  std::string rle =
      rleBmpFile(64, 9, false, scrambledGreys(16), pattern(9, [](int, int) { return 1; }));
  struct Case {
    const char* name;
    std::string file;
    PrepareSettings settings;
  };
  PrepareSettings tooManyRows;
  tooManyRows.rows = 63;
  tooManyRows.plateau = true;
  const std::vector<Case> cases = {
      {"truncated PNG", png.substr(0, png.size() / 2), {}},
      {"no picture", "hello, this is text", {}},
      {"empty file", "", {}},
      {"huge picture", huge, {}},
      {"truncated RLE", rle.substr(0, rle.size() - 20), {}},
      {"truncated BMP",
       bmp24File(64, 8, std::vector<std::uint8_t>(64 * 8 * 3)).substr(0, 1000),
       {}},
      {"rows over the plateau limit", png, tooManyRows},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PreparedPicture picture;
    std::string error;
    EXPECT_FALSE(preparePicture(reinterpret_cast<const unsigned char*>(c.file.data()),
                                c.file.size(), c.settings, picture, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_TRUE(picture.grid.empty());
  }
}

}  // namespace
