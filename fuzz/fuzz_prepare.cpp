// Arbitrary bytes as a picture handed to `hvx prepare` and `hvx check`: decode,
// resize, encode to memory. The first byte chooses the settings, the rest is
// the file. Whatever comes in, a prepared picture must be one tonepix reads
// as drawn.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hvx/picture/bitmap_check.h"
#include "hvx/picture/picture_prepare.h"
#include "image/bitmap_format.h"

namespace {
// Enough for every decoder path while keeping each input quick under the
// sanitizers; the full limit only changes the size check.
constexpr std::size_t kFuzzSourcePixels = std::size_t{1} << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  PrepareSettings settings;
  settings.topFirst = (data[0] & 1u) != 0;
  settings.plateau = (data[0] & 2u) != 0;
  settings.invert = (data[0] & 4u) != 0;
  settings.rows = (data[0] >> 3) * 5;  // 0 (keep the shape) to 155, past both limits
  settings.maxSourcePixels = kFuzzSourcePixels;
  const unsigned char* file = data + 1;
  const std::size_t fileSize = size - 1;

  checkBitmap(std::string(reinterpret_cast<const char*>(file), fileSize), settings.plateau);

  PreparedPicture picture;
  std::string error;
  if (!preparePicture(file, fileSize, settings, picture, error)) {
    if (error.empty() || error.find('\n') != std::string::npos) {
      std::abort();  // every refusal says why, in one line
    }
    return 0;
  }
  const std::string bitmap = encodePreparedBitmap(picture);
  const bool rowsFit = picture.rows >= 1 && picture.rows <= maxPreparedRows(settings.plateau) &&
                       (settings.rows == 0 || picture.rows == settings.rows);
  if (!rowsFit || picture.grid.size() != static_cast<std::size_t>(picture.rows) * kPictureWidth ||
      bitmap.size() != kPixelDataOffset + picture.grid.size() ||
      checkBitmap(bitmap).verdict != BitmapReport::Verdict::Ok) {
    std::abort();
  }
  return 0;
}
