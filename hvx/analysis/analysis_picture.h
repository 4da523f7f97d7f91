#pragma once

#include <string>

#include "hvx/analysis/harmonic_track.h"
#include "image/bitmap_format.h"

// A sound's analysis as the picture tonepix reads: 64 columns of 8-bit grey
// levels, one row per point, the first point in the bottom row (the first
// row of the file), the loudest cell 255.

// Rows a picture of a sound may have: every row must be heard.
constexpr int kMaxAnalysisRows = kMaxHeardRows;

std::string analysisBitmap(const HarmonicFrames& frames);
