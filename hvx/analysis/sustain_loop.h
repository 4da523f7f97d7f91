#pragma once

#include "hvx/analysis/harmonic_track.h"

// Where a voice made from a sound loops while a note is held: on the body of
// the note (after the attack, before the note end), at the body's level, the
// steadiest stretch there, whose end sounds most like its start. A note with
// no body gets a short loop late in its decay.
struct SustainLoop {
  int start = 0;  // points
  int end = 0;
  bool onBody = false;
};

// The note's parts in seconds of the frames (point p at p * interval).
struct LoopBounds {
  double attackEnd = 0;
  double noteEnd = 0;
  bool body = true;
};

SustainLoop placeLoop(const HarmonicFrames& frames, const LoopBounds& bounds);
