#pragma once

#include <vector>

#include "common/store_limits.h"
#include "hvx/analysis/sound_reader.h"

// Each harmonic's amplitude and frequency at points spaced evenly through a
// sound, following the pitch as it moves. Harmonic h is looked for next to
// where the harmonics below it stand, so stretched partials are followed as
// well as vibrato and drift.

constexpr int kAnalysedHarmonics = kMaxHarmonics;

struct HarmonicFrames {
  double interval = 0;  // seconds between points; point p is at p * interval
  int points = 0;
  std::vector<double> pitch;     // per point: the fundamental followed, Hz
  std::vector<float> amplitude;  // points x 64: peak amplitude, full scale 1; 0 at or above Nyquist
  std::vector<float> frequency;  // points x 64: Hz

  float amplitudeAt(int point, int harmonic) const {
    return amplitude[static_cast<std::size_t>(point * kAnalysedHarmonics + harmonic)];
  }
  float frequencyAt(int point, int harmonic) const {
    return frequency[static_cast<std::size_t>(point * kAnalysedHarmonics + harmonic)];
  }
};

// The length of the window a note of `notePitch` hertz is measured with.
double analysisWindowSeconds(double notePitch, double rate);

// The part of a partial's level that such a window measures `hertz` away
// from it: 1 on it, falling to 0 at 2 / windowSeconds (then side lobes).
double levelAtOffset(double hertz, double windowSeconds);

// Points that fit a sound of `seconds` at `interval`: the first at 0, the
// last at or before its end; at most `most`.
int pointsFitting(double seconds, double interval, int most);

// Measures `points` points `interval` seconds apart from `from` seconds into
// the sound, for a note of `notePitch` hertz. With `exactPitch`, each level
// is what the window holds at harmonic h's exact place, h times exactPitch
// (all a voice with exact ratios can play): less than the partial's peak
// the further that partial lies from it.
HarmonicFrames trackHarmonics(const Sound& sound, double notePitch, double interval, int points,
                              double from = 0.0, double exactPitch = 0.0);

// Below this (-120 dB of full scale) a measured level is rounding noise, not
// sound: a silent sound is never scaled up to a picture's or a voice's peak.
constexpr float kQuietestMeasured = 1e-6f;

// The loudest amplitude of points 0..points-1; 0 when it is below
// kQuietestMeasured.
float loudestAmplitude(const HarmonicFrames& frames, int points);

// The same, each point's levels the mean of measurements spread evenly over
// its interval (up to kMostAveraged of them, 0.02 s apart at the closest), so
// that a tremolo faster than the points are apart is not heard as a slower
// one; frequencies are those at the point.
constexpr int kMostAveraged = 16;
HarmonicFrames trackAveragedHarmonics(const Sound& sound, double notePitch, double interval,
                                      int points, double from, double exactPitch = 0.0);

// The pitch read from the fundamental's peak in the spectrum, which is finer
// than the period `pitch` found in the waveform: the median over the points
// where the fundamental is clear. `pitch` itself when it is never clear.
double refinePitch(const Sound& sound, double pitch);
