#pragma once

#include <cstddef>

#include "voice/voice.h"

// Sine oscillators that turn by a fixed rotation per sample (a complex
// multiplication), with an amplitude that moves in a straight line. Nothing
// is computed per sample but multiplications and additions, in lanes the
// compiler can run side by side.
class OscillatorBank {
 public:
  static constexpr std::size_t kCapacity = static_cast<std::size_t>(kVoiceSlots) * kVoiceHarmonics;

  // `count` oscillators, each at phase 0, silent and standing still.
  explicit OscillatorBank(std::size_t count);

  // Turns oscillator `i` by `radians` per sample from now on, phase kept.
  void setFrequency(std::size_t i, double radians);
  // Over the next `samples` samples, goes from `start` to just short of `end`.
  void setAmplitudeRamp(std::size_t i, double start, double end, int samples);
  void silence(std::size_t i);

  // Writes the sum of all oscillators for `samples` samples to `out`.
  void run(float* out, int samples);

 private:
  static constexpr std::size_t kLanes = 8;

  std::size_t lanes_;  // oscillators in use, rounded up to whole lanes
  float cos_[kCapacity];
  float sin_[kCapacity];
  float stepCos_[kCapacity];
  float stepSin_[kCapacity];
  float amplitude_[kCapacity];
  float amplitudeStep_[kCapacity];
  double radians_[kCapacity];
};
