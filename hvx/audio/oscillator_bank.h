#pragma once

#include <cstddef>
#include <cstdint>

#include "voice/voice.h"

// Sine oscillators that turn by a fixed rotation per sample (a complex
// multiplication), with an amplitude that moves in a straight line. Nothing
// is computed per sample but multiplications and additions, eight oscillators
// to a lane group. Every path adds in the same order, so all give the same
// samples: each lane sums its oscillators group by group, then the eight lanes
// are added in turn.
class OscillatorBank {
 public:
  static constexpr std::size_t kCapacity = static_cast<std::size_t>(kVoiceSlots) * kVoiceHarmonics;

  // `count` oscillators, each at phase 0, silent and standing still.
  explicit OscillatorBank(std::size_t count);

  // Turns oscillator `i` by `radians` per sample from the next run() on,
  // phase kept. That run() makes the new steps and puts the magnitudes, which
  // rounding slowly moves, back to 1: for all changed oscillators at once.
  void setFrequency(std::size_t i, double radians) {
    newRadians_[i] = radians;
    changed_[i] = -1;
  }
  // Over the next `samples` samples, goes from `start` to just short of `end`.
  void setAmplitudeRamp(std::size_t i, double start, double end, int samples) {
    amplitude_[i] = static_cast<float>(start);
    amplitudeStep_[i] = static_cast<float>((end - start) / static_cast<double>(samples));
  }
  void silence(std::size_t i) {
    amplitude_[i] = 0.0f;
    amplitudeStep_[i] = 0.0f;
  }

  // Writes the sum of all oscillators for `samples` samples to `out`, by the
  // fastest path this processor has.
  void run(float* out, int samples);

  // One oscillator at a time; with SSE2 vectors; with AVX2 vectors; with
  // AVX-512 vectors (two lane groups each).
  enum class Path { kScalar, kSse2, kAvx2, kAvx512 };
  static bool supports(Path path);
  void run(float* out, int samples, Path path);

 private:
  static constexpr std::size_t kLanes = 8;

  // What setFrequency() asked for since the last run().
  void applyFrequencies(Path path);
  // Puts the magnitude back to 1 for the oscillators setFrequency() marked.
  void restoreMagnitudesScalar();
  void restoreMagnitudesSse2();
  void restoreMagnitudesAvx();
  void restoreMagnitudesAvx512();

  void runScalar(float* out, int samples);
  void runSse2(float* out, int samples);
  void runAvx2(float* out, int samples);
  void runAvx512(float* out, int samples);

  std::size_t lanes_;  // oscillators in use, rounded up to whole lanes
  alignas(64) float cos_[kCapacity];
  alignas(64) float sin_[kCapacity];
  alignas(64) float stepCos_[kCapacity];
  alignas(64) float stepSin_[kCapacity];
  alignas(64) float amplitude_[kCapacity];
  alignas(64) float amplitudeStep_[kCapacity];
  double radians_[kCapacity];   // what the step turns by
  double exactCos_[kCapacity];  // the step before rounding to float
  double exactSin_[kCapacity];
  int stepsSinceExact_[kCapacity];
  double newRadians_[kCapacity];  // from setFrequency(), for the next run()
  // All bits set where setFrequency() was called since the last run().
  alignas(32) std::int32_t changed_[kCapacity];
};
