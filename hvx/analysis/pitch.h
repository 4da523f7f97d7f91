#pragma once

#include <vector>

#include "hvx/analysis/real_fft.h"
#include "hvx/analysis/sound_reader.h"

// Finding a sound's pitch with YIN: the squared difference between a stretch
// of the sound and itself shifted by each lag, normalised by its running
// mean; the first clear dip is the period.

// Pitches found by ear; a note outside is named with --note or --freq.
constexpr double kLowestPitch = 30.0;
constexpr double kHighestPitch = 4200.0;
// Stretches less periodic than this have no pitch (noise, a chord).
constexpr double kMostAperiodic = 0.25;

struct PitchReading {
  double hertz = 0;         // 0: no period found
  double aperiodicity = 1;  // the normalised difference at the period: 0 pure, 1 noise
  double energy = 0;        // mean square of the stretch
};

class PitchDetector {
 public:
  explicit PitchDetector(int sampleRate);

  // The period of the stretch centred on sample `center` (samples outside
  // the sound count as silence), looked for between `lowest` and `highest`
  // hertz, both inside kLowestPitch..kHighestPitch.
  PitchReading at(const std::vector<float>& samples, long center, double lowest, double highest);

 private:
  double rate_;
  int maxLag_;  // the period of the lowest pitch
  int window_;  // samples compared at each lag
  RealFft fft_;
  std::vector<float> head_, span_, correlation_;
  std::vector<std::complex<float>> headSpectrum_, spanSpectrum_;
  std::vector<double> normalised_;
};

// The pitch of the whole sound: the median over its loud, clearly periodic
// stretches. 0 when there are too few of them (silence, noise).
double soundPitch(const Sound& sound);
