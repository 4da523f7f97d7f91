#pragma once

#include <cstddef>

#include "common/store_limits.h"
#include "image/bitmap_header.h"

// The picture layout tonepix reads, whatever a header claims: a 54-byte
// header, a 256-entry colour table, then one byte per pixel, 64 bytes per row,
// rows in file order. The companion tool writes exactly this layout.
constexpr std::size_t kBitmapHeaderBytes = 54;
constexpr std::size_t kColourTableBytes = 1024;
constexpr std::size_t kPixelDataOffset = kBitmapHeaderBytes + kColourTableBytes;  // 1078
// Pictures are exactly one column per harmonic.
constexpr int kPictureWidth = kMaxHarmonics;
// Rows a picture may have: every row is one envelope point.
constexpr int kMaxPictureRows = kMaxPoints;
constexpr int kMaxPlateauPictureRows = kMaxPlateauPoints;
// Rows that are all heard: in a taller picture the closing points overwrite
// the last rows (126, or 62 in plateau mode).
constexpr int kMaxHeardRows = kMaxPoints - kClosingPoints;
constexpr int kMaxHeardPlateauRows = kMaxPlateauPoints - kClosingPoints;
