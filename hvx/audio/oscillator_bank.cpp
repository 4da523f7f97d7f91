#include "hvx/audio/oscillator_bank.h"

#include <cmath>

OscillatorBank::OscillatorBank(std::size_t count)
    : lanes_((count < kCapacity ? count : kCapacity) + kLanes - 1) {
  lanes_ -= lanes_ % kLanes;
  for (std::size_t i = 0; i < kCapacity; ++i) {
    cos_[i] = 1.0f;
    sin_[i] = 0.0f;
    stepCos_[i] = 1.0f;
    stepSin_[i] = 0.0f;
    amplitude_[i] = 0.0f;
    amplitudeStep_[i] = 0.0f;
    radians_[i] = 0.0;
  }
}

void OscillatorBank::setFrequency(std::size_t i, double radians) {
  if (radians != radians_[i]) {
    radians_[i] = radians;
    stepCos_[i] = static_cast<float>(std::cos(radians));
    stepSin_[i] = static_cast<float>(std::sin(radians));
  }
  // Rounding in the rotations slowly changes the magnitude; put it back to 1.
  const double c = static_cast<double>(cos_[i]);
  const double s = static_cast<double>(sin_[i]);
  const double magnitude = std::sqrt(c * c + s * s);
  cos_[i] = static_cast<float>(c / magnitude);
  sin_[i] = static_cast<float>(s / magnitude);
}

void OscillatorBank::setAmplitudeRamp(std::size_t i, double start, double end, int samples) {
  amplitude_[i] = static_cast<float>(start);
  amplitudeStep_[i] = static_cast<float>((end - start) / static_cast<double>(samples));
}

void OscillatorBank::silence(std::size_t i) {
  amplitude_[i] = 0.0f;
  amplitudeStep_[i] = 0.0f;
}

void OscillatorBank::run(float* out, int samples) {
  for (int n = 0; n < samples; ++n) {
    float lane[kLanes] = {};
    for (std::size_t base = 0; base < lanes_; base += kLanes) {
      for (std::size_t j = 0; j < kLanes; ++j) {
        const std::size_t i = base + j;
        const float c = cos_[i];
        const float s = sin_[i];
        lane[j] += amplitude_[i] * s;
        cos_[i] = c * stepCos_[i] - s * stepSin_[i];
        sin_[i] = c * stepSin_[i] + s * stepCos_[i];
        amplitude_[i] += amplitudeStep_[i];
      }
    }
    float sum = 0.0f;
    for (float value : lane) {
      sum += value;
    }
    out[n] = sum;
  }
}
