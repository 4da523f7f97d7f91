#pragma once

#include <string>

#include "hvx/analysis/harmonic_track.h"
#include "hvx/analysis/sustain_loop.h"
#include "voice/voice.h"

// A voice straight from a sound's analysis, finer than any picture: every
// measured point, each harmonic's own frequency as its ratio (vibrato, drift
// and stretched partials kept), the sustain loop on the steadiest stretch and
// the sound's own decay after it, closed by one silent point.

// Measured points a voice holds: one breakpoint is kept for the silence.
constexpr int kMaxVoicePoints = kEnvelopeCapacity - 1;

// Fills `voice` (one layer, one set, base frequency 440 Hz) so that playing
// it at `referenceHertz` gives the measured frequencies, its loudest
// amplitude `ceiling` (1 is full scale). Returns the gain applied to the
// measured amplitudes, 0 when nothing was louder than kQuietestMeasured.
double buildAnalysisVoice(const HarmonicFrames& frames, double referenceHertz,
                          const SustainLoop& loop, double ceiling, const std::string& name,
                          Voice& voice);
