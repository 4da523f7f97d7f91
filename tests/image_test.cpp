#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bitmap_writer.h"
#include "cli/converter.h"
#include "image/bitmap_naming.h"
#include "test_support.h"

namespace {

struct Names {
  std::string output;
  std::string voice;
};

Names namesFor(const char* input) {
  char output[256];
  char voice[256];
  deriveOutputPath(input, output, sizeof output);
  deriveVoiceName(input, voice, sizeof voice);
  return {output, voice};
}

void writeBytes(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(writeFileBytes(path, bytes));
}

}  // namespace

TEST(BitmapNaming, DerivesOutputPathAndVoiceName) {
  struct Case {
    const char* input;
    const char* output;
    const char* voice;
  };
  const Case cases[] = {
      {"song.bmp", "song.hvx", "song"},
      {"SONG.BMP", "SONG.HVX", "SONG"},
      {"a.bmp.old", "a.hvx", "a.bmp"},
      {"c:\\pics\\pad.bmp", "c:\\pics\\pad.hvx", "pad"},
      {"pics/pad.v2.bmp", "pics/pad.v2.hvx", "pad.v2"},
      {"dir\\a.bmp", "dir\\a.hvx", "a"},
      {"dir/a.bmp", "dir/a.hvx", "a"},
      {"x/y\\z.bmp", "x/y\\z.hvx", "y\\z"},  // the forward slash decides
      {"a.BMP.bmp", "a.HVX", "a.BMP"},
      {"dir.v1/.bmp", "dir.v1/.hvx", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const Names names = namesFor(c.input);
    EXPECT_EQ(names.output, c.output);
    EXPECT_EQ(names.voice, c.voice);
  }
  EXPECT_TRUE(hasBitmapName("x.bmp.gz"));
  EXPECT_TRUE(hasBitmapName("X.BMP"));
  EXPECT_FALSE(hasBitmapName("x.Bmp"));
  EXPECT_FALSE(hasBitmapName("xbmp"));
}

TEST(BitmapLoading, RefusesBadPicturesWithOneLineQuietOrVerbose) {
  TempDir dir;
  std::vector<std::uint8_t> rows4 = uniformPixels(4, 7);
  writeBytes(dir.file("notbm.bmp"), "XM" + makeBitmap(64, 4, rows4).substr(2));
  writeBytes(dir.file("w63.bmp"), makeBitmap(63, 4, rows4));
  writeBytes(dir.file("w65.bmp"), makeBitmap(65, 4, rows4));
  writeBytes(dir.file("h129.bmp"), makeBitmap(64, 129, uniformPixels(129, 1)));
  writeBytes(dir.file("h65.bmp"), makeBitmap(64, 65, uniformPixels(65, 1)));
  writeBytes(dir.file("h0.bmp"), makeBitmap(64, 0, {}));
  writeBytes(dir.file("top.bmp"), makeBitmap(64, -4, rows4));
  writeBytes(dir.file("bm.bmp"), "BM");
  const std::string longName = dir.path() + "/" + std::string(260, 'n') + ".bmp";

  struct Case {
    std::string argument;
    int plateau;
    int code;
    std::string verboseReason;  // after the prefix and, where read, the dimensions
    std::string dimensions;
  };
  const Case cases[] = {
      {dir.file("missing.bmp"), 0, 2, ", Could not open! Skipping...\n", ""},
      {dir.file("notbm.bmp"), 0, 3, ", Doesn't look like a bitmap file! Skipping...\n", ""},
      {dir.file("w63.bmp"), 0, 9854, ", Must be 64 pixels wide! Cannot support 63 harmonics\n",
       ", Dimensions: 63x4"},
      {dir.file("w65.bmp"), 0, 9854, ", Must be 64 pixels wide! Cannot support 65 harmonics\n",
       ", Dimensions: 65x4"},
      {dir.file("bm.bmp"), 0, 9854, ", Must be 64 pixels wide! Cannot support 0 harmonics\n",
       ", Dimensions: 0x0"},
      {dir.file("h129.bmp"), 0, 9877, ", Too long! Cannot support 129 envelope points (128 max)\n",
       ", Dimensions: 64x129"},
      {dir.file("h65.bmp"), 10, 9877,
       ", Too long for plateau mode! Cannot support 65 envelope points (64 max)\n",
       ", Dimensions: 64x65"},
      {dir.file("h0.bmp"), 0, 9877, ", Too short! Cannot support 0 envelope points (1 min)\n",
       ", Dimensions: 64x0"},
      {dir.file("top.bmp"), 0, 9877, ", Too short! Cannot support -4 envelope points (1 min)\n",
       ", Dimensions: 64x-4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    for (int verbosity : {0, 1}) {
      auto converter = std::make_unique<Converter>();
      LogCapture log(*converter);
      converter->verbosity = verbosity;
      converter->plateauPercent = c.plateau;
      EXPECT_EQ(converter->loadBitmap(c.argument.c_str()), c.code);
      const std::string prefix = "Input file: \"" + c.argument + "\"";
      EXPECT_EQ(log.take(), verbosity != 0 ? prefix + c.dimensions + c.verboseReason
                                           : prefix + c.verboseReason);
    }
  }

  // Whole lines of their own, whatever the verbosity.
  for (int verbosity : {0, 1}) {
    auto converter = std::make_unique<Converter>();
    LogCapture log(*converter);
    converter->verbosity = verbosity;
    EXPECT_EQ(converter->loadBitmap("x.Bmp"), 86753);
    EXPECT_EQ(log.take(), "Found \"x.Bmp\" in place of .bmp file: Skipping...\n");
    EXPECT_EQ(converter->loadBitmap("%s%n.txt"), 86753);
    EXPECT_EQ(log.take(), "Found \"%s%n.txt\" in place of .bmp file: Skipping...\n");
    EXPECT_NE(converter->loadBitmap(longName.c_str()), 0);
    EXPECT_EQ(log.take(), "Input file: \"" + longName +
                              "\", Path too long! Cannot support more than 255 characters\n");
    EXPECT_STREQ(converter->inputPath, "dummy.bmp");
  }
}

TEST(BitmapLoading, ReadsRowsInFileOrderScaledByOneOver255) {
  TempDir dir;
  std::vector<std::uint8_t> pixels = uniformPixels(8, 0);
  std::fill(pixels.begin(), pixels.begin() + 64, 255);
  pixels[64 + 5] = 51;
  writePicture(dir.file("p.bmp"), 8, pixels);

  auto converter = std::make_unique<Converter>();
  LogCapture log(*converter);
  converter->verbosity = 2;
  converter->loopStart = 1.0f;
  converter->loopEnd = 2.0f;
  converter->amplitude[2][0] = 0.5f;  // left by an earlier picture
  const std::string path = dir.file("p.bmp");
  ASSERT_EQ(converter->loadBitmap(path.c_str()), 0);
  EXPECT_EQ(log.take(), "Input file: \"" + path + "\", Dimensions: 64x8, Loaded.\n");
  for (int c = 0; c < 64; ++c) {
    EXPECT_EQ(converter->amplitude[0][c], 1.0f);
  }
  EXPECT_EQ(bitsOf(converter->amplitude[1][5]), bitsOf(0.20000002f));
  EXPECT_EQ(converter->amplitude[1][4], 0.0f);
  EXPECT_EQ(converter->amplitude[2][0], 0.0f);
  EXPECT_EQ(converter->pointCount, 8);
  EXPECT_EQ(converter->loopStart, 0.0f);
  EXPECT_EQ(converter->loopEnd, 0.0f);
  EXPECT_EQ(converter->ratio[0][0], -666.0f);
  EXPECT_EQ(std::string(converter->outputPath), dir.file("p.hvx"));
  EXPECT_STREQ(converter->voiceName, "p");

  // Quiet loads say nothing; 128 rows is the most without plateau mode.
  converter->verbosity = 0;
  writePicture(dir.file("tall.bmp"), 128, uniformPixels(128, 3));
  EXPECT_EQ(converter->loadBitmap(dir.file("tall.bmp").c_str()), 0);
  EXPECT_EQ(log.take(), "");
  EXPECT_EQ(converter->pointCount, 128);
}
