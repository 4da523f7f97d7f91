#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "voice/voice.h"

// A preview of a voice by plain additive synthesis: every harmonic a sine at
// the base frequency times its frequency envelope, scaled by its amplitude
// envelope, both read by straight lines between breakpoints. The sustain loop
// is walked as PlaybackPlan describes. It models no particular synthesizer.
struct RenderSettings {
  double frequency = 0;  // Hz the voice's base frequency becomes; 0 keeps it
  double holdSeconds = 2;
  // >= 0: the key is let go this many seconds from the start, and the
  // release starts there instead of `holdSeconds` after the loop end.
  double gateSeconds = -1;
  int sampleRate = 48000;
  bool normalize = true;  // to a peak of kNormalizedPeakDb; else clip at full scale
};

struct RenderedAudio {
  std::vector<float> samples;  // mono, full scale +-1
  int sampleRate = 0;
  double peak = 0;  // largest magnitude before `gain`
  double gain = 1;  // factor applied to every sample
  bool clipped = false;
};

constexpr double kNormalizedPeakDb = -1.0;
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 192000;
constexpr double kMaxHoldSeconds = 600.0;
// Amplitudes a preview takes: 120 dB above full scale, far beyond any voice
// worth hearing, and far enough below the float range that 128 partials
// added up stay finite.
constexpr double kMaxRenderAmplitude = 1e6;
// Bounds the time a preview takes, and the memory of one held whole (the
// studio's, at 48 kHz): 30 minutes.
constexpr double kMaxRenderSeconds = 30.0 * 60.0;

// Why `settings` cannot render `voice`, or empty when they can.
std::string renderProblem(const Voice& voice, const RenderSettings& settings);

// The voice's own base frequency: that of the first set it holds.
double voiceBaseFrequency(const Voice& voice);

// Samples in a preview: its duration rounded to the nearest sample.
long long renderedSampleCount(const Voice& voice, const RenderSettings& settings);

// Renders the preview; empty audio when renderProblem() has an objection.
RenderedAudio renderVoice(const Voice& voice, const RenderSettings& settings);

// Takes the preview's samples in order, a piece at a time; false stops it.
using SampleSink = std::function<bool(const float* samples, std::size_t count)>;
// The same, handed the renderer's own scratch: it may change the samples in
// place (to apply a gain without copying them).
using PieceSink = std::function<bool(float* samples, std::size_t count)>;

// The most samples renderVoicePieces() hands on at a time. A held preview is
// written in pieces of this size too: the Vorbis encoder's output depends on
// the pieces it is given.
constexpr std::size_t kPreviewPieceSamples = 65536;

// Renders the preview without holding it, before any gain: memory stays the
// same however long it lasts. False when renderProblem() objects or the sink
// stopped it. The same settings give the same samples every time.
bool renderVoicePieces(const Voice& voice, const RenderSettings& settings, const PieceSink& sink);

// The gain renderVoice() applies to a preview whose peak is `peak`.
double normalizingGain(double peak, const RenderSettings& settings);

// The largest magnitude among `count` samples.
double largestMagnitude(const float* samples, std::size_t count);

// What renderVoice() does to its samples once the peak is known: scaled by
// `gain` when normalizing, else clipped at full scale. True when it clipped.
bool applyPreviewGain(float* samples, std::size_t count, double gain, bool normalize);

// Decibels of a magnitude relative to full scale (-inf for 0).
double toDecibels(double magnitude);
