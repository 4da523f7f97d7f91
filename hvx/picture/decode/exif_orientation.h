#pragma once

#include <cstddef>

// The orientation a JPEG's EXIF data gives, 1 to 8 as the tag defines them
// (1: stored upright); 1 when the file has none or an invalid one.
int exifOrientation(const unsigned char* data, std::size_t size);
