#pragma once

#include <string>

#include "hvx/analysis/harmonic_track.h"
#include "hvx/analysis/note_parts.h"
#include "image/bitmap_format.h"

// A sound's analysis as the picture tonepix reads: 64 columns of 8-bit grey
// levels, one row per point, the first point in the bottom row (the first
// row of the file), the loudest cell 255.

// Rows a picture of a sound may have: every row must be heard.
constexpr int kMaxAnalysisRows = kMaxHeardRows;

std::string analysisBitmap(const HarmonicFrames& frames);

// Where a picture of a note runs, so that tonepix's sustain loop (rows
// rows / 4 + 1 to the last, counted from 0) lies on the note's body: from
// the onset to the note end (tonepix adds its own release), or to the end of
// the decay for a note with no body (tonepix's loop could only go round the
// decay). Rows 60 / `givenBpm` seconds apart (tonepix -b), or `givenInterval`
// (-i), or else the finest tonepix reads that holds the note in
// kMaxAnalysisRows rows and starts its loop after the attack: a tempo down
// to 0.06 s (-b1000), then 0.1 s and steps of 0.01 s; as tonepix holds it, in
// single precision.
struct PictureTiming {
  double interval = 0;
  int rows = 0;
  bool cut = false;  // the note is longer than the rows hold
  int bpm = 0;       // tonepix -b; 0: -i
};
PictureTiming pictureTiming(const NoteParts& parts, double givenInterval, int givenBpm = 0);

// The option that gives tonepix the rows' interval.
std::string tonepixTiming(const PictureTiming& timing);

// The pitch to play a picture at: tonepix gives harmonic h the ratio h
// exactly, so the one within 10 cents of `fallback` (the fundamental's pitch)
// whose exact harmonics hold the most of points `first` to `last`, each
// measured partial counted as much as a window of `windowSeconds` hears of it
// there; `fallback` when nothing was measured.
double pictureReference(const HarmonicFrames& frames, int first, int last, double fallback,
                        double windowSeconds);
