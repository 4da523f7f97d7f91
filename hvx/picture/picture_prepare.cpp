#include "hvx/picture/picture_prepare.h"

#include <stb_image_resize.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "hvx/picture/decode/picture_decode.h"
#include "hvx/picture/decode/picture_screen.h"
#include "hvx/picture/prepared_name.h"
#include "image/bitmap_format.h"
#include "image/bitmap_writer.h"

namespace {

constexpr double kFullScale = 255.0;

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

}  // namespace

int maxPreparedRows(bool plateau) { return plateau ? kMaxHeardPlateauRows : kMaxHeardRows; }

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
  PictureScreen screen;
  if (!screenPicture(data, size, settings.maxSourcePixels, screen, error)) {
    return false;
  }
  GreyPicture picture;
  if (!decodeGreyPicture(data, size, screen, settings.invert, picture, error)) {
    return false;
  }
  const int width = picture.width;
  const int height = picture.height;

  const int wanted = shapeRows(width, height);
  const int rows = settings.rows != 0 ? settings.rows : std::min(wanted, limit);
  std::vector<float> resized(static_cast<std::size_t>(rows) * kPictureWidth);
  if (stbir_resize(picture.levels.data(), width, height, 0, resized.data(), kPictureWidth, rows, 0,
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
  std::string bytes = makeBitmap(kPictureWidth, picture.rows, picture.grid);
  stampBitmap(bytes);
  return bytes;
}
