// hvx picture: a voice drawn again gives back the grey levels it was made
// from, the same way up as the picture it came from.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <memory>
#include <string>
#include <vector>

#include "hvx/picture/picture_prepare.h"
#include "hvx/voice/voice_file.h"
#include "hvx/voice/voice_picture.h"
#include "hvx_pictures.h"
#include "image/bitmap_writer.h"
#include "test_support.h"

namespace {

constexpr int kRows = 40;

std::vector<std::uint8_t> decodedGrey(const std::string& file, int& width, int& height) {
  int channels = 0;
  stbi_uc* pixels =
      stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(file.data()),
                            static_cast<int>(file.size()), &width, &height, &channels, 1);
  EXPECT_NE(pixels, nullptr);
  std::vector<std::uint8_t> grey(pixels, pixels + width * height);
  stbi_image_free(pixels);
  return grey;
}

std::vector<std::uint8_t> row(const std::vector<std::uint8_t>& pixels, int width, int y) {
  const auto start = pixels.begin() + static_cast<long>(y) * width;
  return std::vector<std::uint8_t>(start, start + width);
}

}  // namespace

TEST(VoicePicture, PrepareTonepixPictureGivesBackThePreparedGreyLevels) {
  std::vector<std::uint8_t> source(64 * kRows);
  std::uint32_t state = 5;
  for (std::uint8_t& pixel : source) {
    state = state * 1664525u + 1013904223u;
    pixel = static_cast<std::uint8_t>(state >> 24);
  }
  const std::string png = pngFile(64, kRows, 1, source);
  for (bool topFirst : {false, true}) {
    SCOPED_TRACE(topFirst ? "top first" : "bottom first");
    PrepareSettings settings;
    settings.topFirst = topFirst;
    PreparedPicture prepared;
    std::string error;
    ASSERT_TRUE(preparePicture(reinterpret_cast<const unsigned char*>(png.data()), png.size(),
                               settings, prepared, error))
        << error;
    ASSERT_EQ(prepared.rows, kRows);
    const std::string bitmap = encodePreparedBitmap(prepared);
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("p.bmp"), bitmap));
    ASSERT_EQ(runTonepix({"-f0", "-n100", "p.bmp"}, dir.path()).status, 0);
    auto voice = std::make_unique<Voice>();
    ASSERT_TRUE(loadVoiceFile(dir.file("p.hvx"), *voice, error)) << error;

    PictureSettings drawing;
    drawing.absolute = true;
    drawing.topFirst = topFirst;
    int width = 0;
    int height = 0;
    const std::vector<std::uint8_t> drawn =
        decodedGrey(drawVoicePng(*voice, drawing), width, height);
    ASSERT_EQ(width, 64);
    ASSERT_EQ(height, kRows + 2);  // tonepix adds the loop's end and a silent point
    for (int p = 0; p < kRows; ++p) {
      const int y = topFirst ? p : height - 1 - p;
      EXPECT_EQ(row(drawn, 64, y), row(prepared.grid, 64, p)) << "point " << p;
    }
    if (!topFirst) {
      // The same way up as the bitmap looks in any viewer.
      int bitmapWidth = 0;
      int bitmapHeight = 0;
      const std::vector<std::uint8_t> seen = decodedGrey(bitmap, bitmapWidth, bitmapHeight);
      EXPECT_EQ(std::vector<std::uint8_t>(drawn.begin() + 2 * 64, drawn.end()), seen);
    }
  }
}

TEST(VoicePicture, ScalesCellsAndMakesTheLoudestWhite) {
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  Envelope& envelope = voice->sets[1].amplitudeEnvelopes[2];
  envelope.count = 2;
  envelope.values[0] = 0.1f;
  envelope.values[1] = 0.2f;
  PictureSettings settings;
  settings.scale = 3;
  const GreyPicture picture = drawVoice(*voice, settings);
  ASSERT_EQ(picture.width, 64 * 3);
  ASSERT_EQ(picture.height, 2 * 3);
  const std::vector<std::uint8_t> first = row(picture.pixels, picture.width, 3);
  EXPECT_EQ(std::vector<std::uint8_t>(first.begin() + 6, first.begin() + 9),
            std::vector<std::uint8_t>(3, 128));  // 0.1 of the largest 0.2
  EXPECT_EQ(row(picture.pixels, picture.width, 0)[8], 255);
  EXPECT_EQ(row(picture.pixels, picture.width, 0)[9], 0);
  settings.absolute = true;
  EXPECT_EQ(drawVoice(*voice, settings).pixels[8], 51);  // 0.2 of 1.0

  resetVoice(*voice);
  EXPECT_TRUE(drawVoicePng(*voice, settings).empty());  // nothing to draw
}
