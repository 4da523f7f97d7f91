#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "bitmap_writer.h"
#include "cli/converter.h"
#include "image/bitmap_naming.h"
#include "test_support.h"

TEST(BitmapNaming, DerivesOutputPathAndVoiceName) {
  const std::vector<std::tuple<const char*, const char*, const char*>> cases = {
      {"song.bmp", "song.hvx", "song"},
      {"SONG.BMP", "SONG.HVX", "SONG"},
      {"a.bmp.old", "a.hvx", "a.bmp"},
      {"c:\\pics\\pad.bmp", "c:\\pics\\pad.hvx", "pad"},
      {"pics/pad.v2.bmp", "pics/pad.v2.hvx", "pad.v2"},
      {"x/y\\z.bmp", "x/y\\z.hvx", "y\\z"},  // the forward slash decides
      {"a.BMP.bmp", "a.HVX", "a.BMP"},
  };
  for (const auto& [input, output, voice] : cases) {
    char path[256];
    char name[256];
    deriveOutputPath(input, path, sizeof path);
    deriveVoiceName(input, name, sizeof name);
    EXPECT_STREQ(path, output);
    EXPECT_STREQ(name, voice);
  }
  EXPECT_FALSE(hasBitmapName("x.Bmp"));
}

TEST(BitmapLoading, RefusesBadPicturesWithOneLineQuietOrVerbose) {
  TempDir dir;
  const std::vector<std::uint8_t> rows4(64 * 4, 7);
  auto write = [&](const char* name, const std::string& bytes) {
    ASSERT_TRUE(writeFileBytes(dir.file(name), bytes));
  };
  write("notbm.bmp", "XM" + makeBitmap(64, 4, rows4).substr(2));
  write("w63.bmp", makeBitmap(63, 4, rows4));
  write("h129.bmp", makeBitmap(64, 129, std::vector<std::uint8_t>(64 * 129)));
  write("h65.bmp", makeBitmap(64, 65, std::vector<std::uint8_t>(64 * 65)));
  write("h0.bmp", makeBitmap(64, 0, {}));
  write("top.bmp", makeBitmap(64, -4, rows4));
  write("bm.bmp", "BM");
  // name, plateau, code, dimensions shown when verbose, reason
  const std::vector<std::tuple<std::string, int, int, std::string, std::string>> cases = {
      {"missing.bmp", 0, 2, "", ", Could not open! Skipping...\n"},
      {"notbm.bmp", 0, 3, "", ", Doesn't look like a bitmap file! Skipping...\n"},
      {"w63.bmp", 0, 9854, "63x4", ", Must be 64 pixels wide! Cannot support 63 harmonics\n"},
      {"bm.bmp", 0, 9854, "0x0", ", Must be 64 pixels wide! Cannot support 0 harmonics\n"},
      {"h129.bmp", 0, 9877, "64x129", ", Too long! Cannot support 129 envelope points (128 max)\n"},
      {"h65.bmp", 10, 9877, "64x65",
       ", Too long for plateau mode! Cannot support 65 envelope points (64 max)\n"},
      {"h0.bmp", 0, 9877, "64x0", ", Too short! Cannot support 0 envelope points (1 min)\n"},
      {"top.bmp", 0, 9877, "64x-4", ", Too short! Cannot support -4 envelope points (1 min)\n"},
  };
  const std::string longName = dir.file(std::string(260, 'n') + ".bmp");
  for (int verbosity : {0, 1}) {
    auto converter = std::make_unique<Converter>();
    LogCapture log(*converter);
    converter->verbosity = verbosity;
    for (const auto& [name, plateau, code, dimensions, reason] : cases) {
      converter->plateauPercent = plateau;
      EXPECT_EQ(converter->loadBitmap(dir.file(name).c_str()), code) << name;
      const std::string shown =
          verbosity != 0 && !dimensions.empty() ? ", Dimensions: " + dimensions + reason : reason;
      EXPECT_EQ(log.take(), "Input file: \"" + dir.file(name) + "\"" + shown) << name;
    }
    // Whole lines of their own, whatever the verbosity.
    EXPECT_EQ(converter->loadBitmap("%s.Bmp"), 86753);
    EXPECT_EQ(log.take(), "Found \"%s.Bmp\" in place of .bmp file: Skipping...\n");
    EXPECT_NE(converter->loadBitmap(longName.c_str()), 0);
    EXPECT_EQ(log.take(), "Input file: \"" + longName +
                              "\", Path too long! Cannot support more than 255 characters\n");
  }
}

TEST(BitmapLoading, ReadsRowsInFileOrderScaledByOneOver255) {
  TempDir dir;
  std::vector<std::uint8_t> pixels(64 * 128, 0);
  std::fill(pixels.begin(), pixels.begin() + 64, 255);
  pixels[64 + 5] = 51;
  const std::string path = dir.file("p.bmp");
  ASSERT_TRUE(writeFileBytes(path, makeBitmap(64, 128, pixels)));

  auto converter = std::make_unique<Converter>();
  LogCapture log(*converter);
  converter->verbosity = 2;
  converter->loopEnd = 2.0f;
  ASSERT_EQ(converter->loadBitmap(path.c_str()), 0);
  EXPECT_EQ(log.take(), "Input file: \"" + path + "\", Dimensions: 64x128, Loaded.\n");
  EXPECT_EQ(converter->amplitude[0][63], 1.0f);
  EXPECT_EQ(bitsOf(converter->amplitude[1][5]), bitsOf(0.20000002f));
  EXPECT_EQ(converter->amplitude[1][4], 0.0f);
  EXPECT_EQ(converter->pointCount, 128);
  EXPECT_EQ(converter->loopEnd, 0.0f);
  EXPECT_EQ(converter->ratio[0][0], -666.0f);
  EXPECT_STREQ(converter->voiceName, "p");
}
