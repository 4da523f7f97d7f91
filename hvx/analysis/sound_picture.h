#pragma once

#include <string>

#include "hvx/analysis/analysis_picture.h"
#include "hvx/analysis/note_parts.h"
#include "hvx/analysis/sound_reader.h"

// A sound's picture as hvx analyze makes it, for the command and the studio
// alike: the pitch, the note's parts, the rows' timing and the bitmap.

// The sound's own pitch (YIN, then refined on its harmonics); 0 when it has
// none (silence, noise).
double foundPitch(const Sound& sound);

struct SoundPicture {
  double reference = 0;  // the pitch, to 0.01 Hz: rendering at it gives back the measured one
  double played = 0;     // the pitch the picture's exact harmonics hold most at, to 0.01 Hz
  NoteParts parts;
  PictureTiming timing;
  std::string bitmap;
};

// The picture of `sound` at `pitch`, its rows `interval` seconds apart or
// 60 / `bpm` (both 0: chosen from the note, see pictureTiming).
SoundPicture analyseSoundPicture(const Sound& sound, double pitch, double interval, int bpm);
