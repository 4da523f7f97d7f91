#include "hvx/picture/decode/exif_orientation.h"

#include <libexif/exif-data.h>

#include <limits>

namespace {
constexpr int kUpright = 1;
constexpr int kLastOrientation = 8;
}  // namespace

int exifOrientation(const unsigned char* data, std::size_t size) {
  if (size > std::numeric_limits<unsigned int>::max()) {
    return kUpright;
  }
  ExifData* exif = exif_data_new();
  if (exif == nullptr) {
    return kUpright;
  }
  // Read the tags as they are: following the standard would fill in missing
  // ones with defaults, and maker notes are of no use here.
  exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_unset_option(exif, EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  exif_data_load_data(exif, data, static_cast<unsigned int>(size));
  int orientation = kUpright;
  const ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
      entry->size >= 2 && entry->data != nullptr) {
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
    if (value >= kUpright && value <= kLastOrientation) {
      orientation = value;
    }
  }
  exif_data_unref(exif);
  return orientation;
}
