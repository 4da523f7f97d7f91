#include "hvx/picture/picture_prepare.h"

#include <stb_image.h>
#include <stb_image_resize.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "bitmap_writer.h"
#include "hvx/picture/rle_bitmap.h"
#include "image/bitmap_format.h"

namespace {

// Grey is the luma of the picture's own (gamma-encoded) red, green and blue,
// with the ITU-R BT.601 weights that grey conversions commonly use.
constexpr double kRedWeight = 0.299;
constexpr double kGreenWeight = 0.587;
constexpr double kBlueWeight = 0.114;
constexpr double kFullScale = 255.0;
constexpr int kRgbaChannels = 4;

struct StbFree {
  void operator()(unsigned char* pixels) const { stbi_image_free(pixels); }
};

// The image library's own word for what went wrong, kept to one printable
// line: some of its paths leave no reason, or a bare line break.
std::string libraryReason() {
  const char* reason = stbi_failure_reason();
  std::string text;
  for (const char* c = reason; c != nullptr && *c != '\0'; ++c) {
    if (*c >= ' ' && *c <= '~') {
      text += *c;
    }
  }
  return text.empty() ? "no reason given" : text;
}

// Each cell's grey level, 0..255 as a float, transparency laid over black.
// Inverting comes before the transparency, so transparent parts stay silent.
std::vector<float> greyLevels(const unsigned char* rgba, std::size_t pixels, bool invert) {
  std::vector<float> grey(pixels);
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned char* p = rgba + i * kRgbaChannels;
    double luma = kRedWeight * static_cast<double>(p[0]) +
                  kGreenWeight * static_cast<double>(p[1]) +
                  kBlueWeight * static_cast<double>(p[2]);
    if (invert) {
      luma = kFullScale - luma;
    }
    grey[i] = static_cast<float>(luma * static_cast<double>(p[3]) / kFullScale);
  }
  return grey;
}

// Shrinking averages the source pixels each output cell covers (a box over
// their area); enlarging interpolates linearly between neighbours. Grey
// levels are amplitudes, so they are averaged as plain numbers, not as light.
stbir_filter filterFor(int from, int to) {
  return to > from ? STBIR_FILTER_TRIANGLE : STBIR_FILTER_BOX;
}

std::uint8_t toLevel(float value) {
  const double rounded = std::nearbyint(static_cast<double>(value));
  return static_cast<std::uint8_t>(std::clamp(rounded, 0.0, kFullScale));
}

// The rows that keep the picture's shape at 64 columns, at least one.
int shapeRows(int width, int height) {
  const double rows = std::round(static_cast<double>(kPictureWidth) * static_cast<double>(height) /
                                 static_cast<double>(width));
  return std::max(1, static_cast<int>(std::min(rows, 1e9)));
}

std::uint32_t littleEndian(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

// The image library reads past the end of an uncompressed bitmap as black;
// a file that short lost part of its picture, so it is refused instead.
bool uncompressedBitmapIsShort(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kCoreHeader = 12;
  if (size < 30 || data[0] != 'B' || data[1] != 'M') {
    return false;
  }
  const std::uint32_t headerSize = littleEndian(data + 14, 4);
  const bool core = headerSize == kCoreHeader;
  if (!core && (size < 34 || littleEndian(data + 30, 4) == 1 || littleEndian(data + 30, 4) == 2)) {
    return false;  // run-length data has no fixed size
  }
  auto field = [&](std::size_t coreAt, std::size_t infoAt) -> std::int64_t {
    if (core) {
      return littleEndian(data + coreAt, 2);
    }
    return static_cast<std::int32_t>(littleEndian(data + infoAt, 4));
  };
  const std::int64_t width = field(18, 18);
  const std::int64_t height = field(20, 22);
  const std::int64_t bits = littleEndian(data + (core ? 24 : 28), 2);
  const std::int64_t stride = (width * bits + 31) / 32 * 4;
  const std::int64_t needed = static_cast<std::int64_t>(littleEndian(data + 10, 4)) +
                              stride * (height < 0 ? -height : height);
  return needed > static_cast<std::int64_t>(size);
}

}  // namespace

int maxPreparedRows(bool plateau) { return plateau ? kMaxPlateauPictureRows : kMaxPictureRows; }

bool preparePicture(const unsigned char* data, std::size_t size, const PrepareSettings& settings,
                    PreparedPicture& out, std::string& error) {
  const int limit = maxPreparedRows(settings.plateau);
  if (settings.rows < 0 || settings.rows > limit) {
    error = "rows must be 1 to " + std::to_string(limit) +
            (settings.plateau ? " in plateau mode" : "") + ", not " + std::to_string(settings.rows);
    return false;
  }
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    error = "file too large to be a picture hvx reads";
    return false;
  }

  std::string expanded;
  switch (expandRleBitmap(data, size, settings.maxSourcePixels, expanded, error)) {
    case RleExpansion::Refused:
      return false;
    case RleExpansion::Expanded:
      data = reinterpret_cast<const unsigned char*>(expanded.data());
      size = expanded.size();
      break;
    case RleExpansion::NotRle:
      break;
  }
  const int length = static_cast<int>(size);

  int width = 0, height = 0, channels = 0;
  if (stbi_info_from_memory(data, length, &width, &height, &channels) == 0) {
    error = "not a picture hvx can read (" + libraryReason() + ")";
    return false;
  }
  if (width <= 0 || height <= 0 ||
      static_cast<std::size_t>(width) >
          settings.maxSourcePixels / static_cast<std::size_t>(height)) {
    error = "picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels, more than " + std::to_string(settings.maxSourcePixels);
    return false;
  }
  if (uncompressedBitmapIsShort(data, size)) {
    error = "truncated bitmap: its pixel data ends early";
    return false;
  }
  std::unique_ptr<unsigned char, StbFree> rgba(
      stbi_load_from_memory(data, length, &width, &height, &channels, kRgbaChannels));
  if (!rgba) {
    error = "damaged or truncated picture (" + libraryReason() + ")";
    return false;
  }
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<float> grey = greyLevels(rgba.get(), pixels, settings.invert);
  rgba.reset();

  const int wanted = shapeRows(width, height);
  const int rows = settings.rows != 0 ? settings.rows : std::min(wanted, limit);
  std::vector<float> resized(static_cast<std::size_t>(rows) * kPictureWidth);
  if (stbir_resize(grey.data(), width, height, 0, resized.data(), kPictureWidth, rows, 0,
                   STBIR_TYPE_FLOAT, 1, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                   STBIR_EDGE_CLAMP, filterFor(width, kPictureWidth), filterFor(height, rows),
                   STBIR_COLORSPACE_LINEAR, nullptr) == 0) {
    error = "could not resize the picture (out of memory)";
    return false;
  }

  out.sourceWidth = width;
  out.sourceHeight = height;
  out.rows = rows;
  out.uncappedRows = wanted;
  out.capped = settings.rows == 0 && wanted > limit;
  out.grid.resize(resized.size());
  // The resized rows run top to bottom; the first envelope point is the
  // picture's bottom row unless the top comes first.
  for (int p = 0; p < rows; ++p) {
    const int from = settings.topFirst ? p : rows - 1 - p;
    for (int h = 0; h < kPictureWidth; ++h) {
      out.grid[static_cast<std::size_t>(p * kPictureWidth + h)] =
          toLevel(resized[static_cast<std::size_t>(from * kPictureWidth + h)]);
    }
  }
  return true;
}

std::string encodePreparedBitmap(const PreparedPicture& picture) {
  return makeBitmap(kPictureWidth, picture.rows, picture.grid);
}
