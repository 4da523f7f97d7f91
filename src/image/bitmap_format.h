#pragma once

#include <cstddef>

#include "common/store_limits.h"

// The picture layout tonepix reads, whatever a header claims: a 54-byte
// header, a 256-entry colour table, then one byte per pixel, 64 bytes per row,
// rows in file order. The companion tool writes exactly this layout.
constexpr std::size_t kBitmapHeaderBytes = 54;
constexpr std::size_t kColourTableBytes = 1024;
constexpr std::size_t kPixelDataOffset = kBitmapHeaderBytes + kColourTableBytes;  // 1078
// Header fields the loader reads (little-endian int32).
constexpr std::size_t kWidthOffset = 18;
constexpr std::size_t kHeightOffset = 22;
// Pictures are exactly one column per harmonic.
constexpr int kPictureWidth = kMaxHarmonics;
// Rows a picture may have: every row is one envelope point.
constexpr int kMaxPictureRows = kMaxPoints;
constexpr int kMaxPlateauPictureRows = kMaxPlateauPoints;
