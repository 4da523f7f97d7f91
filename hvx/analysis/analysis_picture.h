#pragma once

#include <string>

#include "hvx/analysis/harmonic_track.h"
#include "image/bitmap_format.h"

// A sound's analysis as the picture tonepix reads: 64 columns of 8-bit grey
// levels, one row per point, the first point in the bottom row (the first
// row of the file), the loudest cell 255.

// Rows a picture of a sound may have: tonepix puts its two closing points in
// the last two rows of a full picture, so rows 127 and 128 would never be
// heard.
constexpr int kMaxAnalysisRows = kMaxPictureRows - 2;

std::string analysisBitmap(const HarmonicFrames& frames);
