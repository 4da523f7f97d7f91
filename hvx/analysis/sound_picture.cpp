#include "hvx/analysis/sound_picture.h"

#include <algorithm>
#include <cmath>

#include "hvx/analysis/harmonic_track.h"
#include "hvx/analysis/pitch.h"

double foundPitch(const Sound& sound) {
  const double pitch = soundPitch(sound);
  return pitch == 0.0 ? 0.0 : refinePitch(sound, pitch);
}

SoundPicture analyseSoundPicture(const Sound& sound, double pitch, double interval, int bpm) {
  SoundPicture picture;
  picture.reference = std::round(pitch * 100.0) / 100.0;
  picture.parts = findNoteParts(sound, pitch);
  picture.timing = pictureTiming(picture.parts, interval, bpm);
  const double from = picture.parts.onset;
  const double step = picture.timing.interval;
  const int rows = picture.timing.rows;
  const HarmonicFrames measured = trackAveragedHarmonics(sound, pitch, step, rows, from);
  // Played where its exact harmonics hold the most of the body.
  const int bodyRow =
      std::min(rows - 1, static_cast<int>(std::ceil((picture.parts.attackEnd - from) / step)));
  picture.played = std::round(pictureReference(measured, bodyRow, rows - 1, picture.reference,
                                               analysisWindowSeconds(pitch, sound.sampleRate)) *
                              100.0) /
                   100.0;
  // Each column holds what the sound has where tonepix will play it.
  picture.bitmap =
      analysisBitmap(trackAveragedHarmonics(sound, pitch, step, rows, from, picture.played));
  return picture;
}
