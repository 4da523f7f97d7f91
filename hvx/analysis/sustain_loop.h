#pragma once

#include "hvx/analysis/harmonic_track.h"

// Where a voice made from a sound loops while a note is held: the steadiest
// loud stretch, whose end sounds most like its start, with points left after
// it for the sound's own decay.
struct SustainLoop {
  int start = 0;  // points
  int end = 0;
};

SustainLoop steadiestLoop(const HarmonicFrames& frames);
