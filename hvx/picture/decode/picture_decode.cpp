#include "hvx/picture/decode/picture_decode.h"

#include <stb_image.h>

#include <algorithm>
#include <memory>

#include "hvx/picture/decode/exif_orientation.h"
#include "hvx/picture/decode/rle_bitmap.h"
#include "hvx/picture/decode/stb_reason.h"

namespace {

// Grey is the luma of the picture's own (gamma-encoded) red, green and blue,
// with the ITU-R BT.601 weights that grey conversions commonly use.
constexpr double kRedWeight = 0.299;
constexpr double kGreenWeight = 0.587;
constexpr double kBlueWeight = 0.114;
constexpr double kFullScale = 255.0;
constexpr double kEightBitWhite = 255.0;
constexpr double kSixteenBitWhite = 65535.0;
constexpr int kRgba = 4;

struct StbFree {
  void operator()(void* pixels) const { stbi_image_free(pixels); }
};

// Each pixel's grey level on 0..255, from samples whose white is `white`
// (1 grey, 2 grey and alpha, 3 RGB or 4 RGBA channels). Inverting comes
// before the transparency, so transparent parts stay silent.
template <typename Sample>
std::vector<float> greyLevels(const Sample* samples, std::size_t pixels, int channels, double white,
                              bool invert) {
  std::vector<float> grey(pixels);
  const double scale = kFullScale / white;
  for (std::size_t i = 0; i < pixels; ++i) {
    const Sample* p = samples + i * static_cast<std::size_t>(channels);
    auto level = [&](int c) { return std::min(static_cast<double>(p[c]), white) * scale; };
    double luma = level(0);
    double alpha = kFullScale;
    if (channels >= 3) {
      luma = kRedWeight * level(0) + kGreenWeight * level(1) + kBlueWeight * level(2);
    }
    if (channels == 2 || channels == kRgba) {
      alpha = level(channels - 1);
    }
    if (invert) {
      luma = kFullScale - luma;
    }
    grey[i] = static_cast<float>(luma * alpha / kFullScale);
  }
  return grey;
}

// The picture as a viewer shows a file with EXIF orientation 1 to 8: stored
// rows and columns swapped (5 to 8), then mirrored across and down as the
// orientation says.
void orient(GreyPicture& picture, int orientation) {
  const bool swap = orientation >= 5;
  const bool mirrorAcross =
      orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
  const bool mirrorDown =
      orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
  if (!swap && !mirrorAcross && !mirrorDown) {
    return;
  }
  const auto w = static_cast<std::size_t>(picture.width);
  const auto h = static_cast<std::size_t>(picture.height);
  const std::size_t shownWidth = swap ? h : w;
  const std::size_t shownHeight = swap ? w : h;
  std::vector<float> shown(picture.levels.size());
  for (std::size_t y = 0; y < shownHeight; ++y) {
    for (std::size_t x = 0; x < shownWidth; ++x) {
      std::size_t u = swap ? y : x;
      std::size_t v = swap ? x : y;
      u = mirrorAcross ? w - 1 - u : u;
      v = mirrorDown ? h - 1 - v : v;
      shown[y * shownWidth + x] = picture.levels[v * w + u];
    }
  }
  picture.levels.swap(shown);
  picture.width = static_cast<int>(shownWidth);
  picture.height = static_cast<int>(shownHeight);
}

// The image library's pixels at the file's own channel count and depth, so
// that 16-bit samples keep their precision. `swapBytes`: the library hands
// over a PNM's big-endian 16-bit samples as they are stored.
template <typename Sample, typename Load>
bool loadWithLibrary(const unsigned char* data, std::size_t size, Load load, double white,
                     bool invert, bool swapBytes, GreyPicture& out, std::string& error) {
  int channels = 0;
  std::unique_ptr<Sample, StbFree> samples(
      load(data, static_cast<int>(size), &out.width, &out.height, &channels, 0));
  if (!samples || out.width <= 0 || out.height <= 0 || channels < 1 || channels > kRgba) {
    error = "damaged or truncated picture (" + stbReason() + ")";
    return false;
  }
  const std::size_t pixels =
      static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
  if (swapBytes) {
    Sample* sample = samples.get();
    for (std::size_t i = 0; i < pixels * static_cast<std::size_t>(channels); ++i) {
      const unsigned value = sample[i];
      sample[i] = static_cast<Sample>(((value & 0xFFu) << 8) | (value >> 8));
    }
  }
  out.levels = greyLevels(samples.get(), pixels, channels, white, invert);
  return true;
}

}  // namespace

bool decodeGreyPicture(const unsigned char* data, std::size_t size, const PictureScreen& screen,
                       bool invert, GreyPicture& out, std::string& error) {
  out = GreyPicture{};
  if (screen.kind == PictureKind::Bitmap && isRleBitmap(data, size)) {
    std::vector<unsigned char> rgba;
    if (!decodeRleBitmap(data, size, out.width, out.height, rgba, error)) {
      return false;
    }
    const std::size_t pixels =
        static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
    out.levels = greyLevels(rgba.data(), pixels, kRgba, kEightBitWhite, invert);
    return true;
  }
  const bool sixteenBit = stbi_is_16_bit_from_memory(data, static_cast<int>(size)) != 0;
  // A PNM's white is its own largest value, which the library leaves unscaled.
  const double white = screen.levelMax > 0 ? static_cast<double>(screen.levelMax)
                       : sixteenBit        ? kSixteenBitWhite
                                           : kEightBitWhite;
  const bool bigEndian = screen.kind == PictureKind::Pnm;
  const bool loaded = sixteenBit ? loadWithLibrary<stbi_us>(data, size, stbi_load_16_from_memory,
                                                            white, invert, bigEndian, out, error)
                                 : loadWithLibrary<stbi_uc>(data, size, stbi_load_from_memory,
                                                            white, invert, false, out, error);
  if (!loaded) {
    return false;
  }
  if (screen.kind == PictureKind::Jpeg) {
    orient(out, exifOrientation(data, size));
  }
  return true;
}
