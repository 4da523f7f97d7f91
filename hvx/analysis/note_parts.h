#pragma once

#include "hvx/analysis/sound_reader.h"

// The parts of a recorded note, from its level over time: the onset (where
// the leading silence ends), the attack (until the level first reaches the
// body's), the body (where the level holds) and the note end (where the
// final decay begins), then the decay down to the trailing silence. A sound
// whose level only falls (plucked, struck) has no body: its attack ends at
// the loudest moment and its note end is where the decay is 30 dB down.
struct NoteParts {
  // Seconds from the start of the sound's samples.
  double onset = 0;
  double attackEnd = 0;
  double noteEnd = 0;
  double end = 0;  // where the trailing silence begins
  bool body = false;
  double bodyLevel = 0;  // dB of full scale (RMS), when there is a body
};

// `pitch` sets the level's window: two periods at least.
NoteParts findNoteParts(const Sound& sound, double pitch);
