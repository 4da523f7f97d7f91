#include "hvx/analysis/pitch.h"

#include <algorithm>
#include <cmath>

namespace {

// A dip below this is a period at once; a clean note dips far lower.
constexpr double kDipThreshold = 0.15;
// Stretches this far below the loudest are left out of the sound's pitch.
constexpr double kQuietestStretch = 1e-3;  // -30 dB
// Stretches read for the sound's pitch, at most.
constexpr int kPitchStretches = 200;

int powerOfTwoAtLeast(int n) {
  int size = 2;
  while (size < n) {
    size *= 2;
  }
  return size;
}

}  // namespace

PitchDetector::PitchDetector(int sampleRate)
    : rate_(sampleRate),
      maxLag_(static_cast<int>(std::ceil(rate_ / kLowestPitch))),
      window_(maxLag_),
      fft_(powerOfTwoAtLeast(2 * maxLag_ + 2)) {}

PitchReading PitchDetector::at(const std::vector<float>& samples, long center, double lowest,
                               double highest) {
  const int n = fft_.size();
  const long first = center - static_cast<long>(window_ + maxLag_) / 2;
  const auto count = static_cast<long>(samples.size());
  head_.assign(static_cast<std::size_t>(n), 0.0f);
  span_.assign(static_cast<std::size_t>(n), 0.0f);
  // Without the mean of its samples: a constant offset repeats at every lag,
  // and would be taken for a period (or a constant for a note). Outside the
  // sound stays silence.
  const long from = std::max(0L, first);
  const long to = std::min(count, first + window_ + maxLag_);
  double mean = 0.0;
  for (long at = from; at < to; ++at) {
    mean += static_cast<double>(samples[static_cast<std::size_t>(at)]);
  }
  mean = to > from ? mean / static_cast<double>(to - from) : 0.0;
  for (long i = 0; i < window_ + maxLag_; ++i) {
    const long at = first + i;
    const auto value = static_cast<float>(
        at >= 0 && at < count ? static_cast<double>(samples[static_cast<std::size_t>(at)]) - mean
                              : 0.0);
    span_[static_cast<std::size_t>(i)] = value;
    if (i < window_) {
      head_[static_cast<std::size_t>(i)] = value;
    }
  }
  // The cross-correlation of the head with the whole span, for every lag at
  // once; the span fits the transform, so nothing wraps round.
  fft_.forward(head_, headSpectrum_);
  fft_.forward(span_, spanSpectrum_);
  for (std::size_t k = 0; k < spanSpectrum_.size(); ++k) {
    spanSpectrum_[k] *= std::conj(headSpectrum_[k]);
  }
  fft_.inverse(spanSpectrum_, correlation_);

  PitchReading reading;
  double headEnergy = 0.0;
  for (int i = 0; i < window_; ++i) {
    headEnergy += static_cast<double>(head_[static_cast<std::size_t>(i)]) *
                  static_cast<double>(head_[static_cast<std::size_t>(i)]);
  }
  reading.energy = headEnergy / window_;
  if (!(headEnergy > 1e-12)) {
    return reading;  // silence has no period
  }
  // d(lag) = e(head) + e(shifted) - 2 r(lag), then divided by its running mean.
  normalised_.assign(static_cast<std::size_t>(maxLag_ + 1), 1.0);
  double shifted = headEnergy;
  double runningSum = 0.0;
  for (int lag = 1; lag <= maxLag_; ++lag) {
    const auto out = static_cast<double>(span_[static_cast<std::size_t>(lag - 1)]);
    const auto in = static_cast<double>(span_[static_cast<std::size_t>(lag + window_ - 1)]);
    shifted += in * in - out * out;
    const double r = static_cast<double>(correlation_[static_cast<std::size_t>(lag)]) / n;
    const double difference = std::max(0.0, headEnergy + shifted - 2.0 * r);
    runningSum += difference;
    normalised_[static_cast<std::size_t>(lag)] =
        runningSum > 0.0 ? difference * lag / runningSum : 1.0;
  }
  const int shortest = std::max(2, static_cast<int>(std::floor(rate_ / highest)));
  const int longest = std::min(maxLag_ - 1, static_cast<int>(std::ceil(rate_ / lowest)));
  int best = -1;
  for (int lag = shortest; lag <= longest; ++lag) {
    if (normalised_[static_cast<std::size_t>(lag)] < kDipThreshold) {
      while (lag < longest && normalised_[static_cast<std::size_t>(lag + 1)] <
                                  normalised_[static_cast<std::size_t>(lag)]) {
        ++lag;
      }
      best = lag;
      break;
    }
    if (best < 0 ||
        normalised_[static_cast<std::size_t>(lag)] < normalised_[static_cast<std::size_t>(best)]) {
      best = lag;
    }
  }
  if (best < 0) {
    return reading;
  }
  // The dip's bottom between samples, from a parabola through three lags.
  const double a = normalised_[static_cast<std::size_t>(best - 1)];
  const double b = normalised_[static_cast<std::size_t>(best)];
  const double c = normalised_[static_cast<std::size_t>(best + 1)];
  const double curve = a - 2.0 * b + c;
  const double shift = curve > 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
  reading.aperiodicity = b;
  reading.hertz = rate_ / (best + shift);
  return reading;
}

double soundPitch(const Sound& sound) {
  PitchDetector detector(sound.sampleRate);
  const auto count = static_cast<long>(sound.samples.size());
  const long stride = std::max(1L, count / kPitchStretches);
  std::vector<PitchReading> readings;
  double loudest = 0.0;
  for (long center = stride / 2; center < count; center += stride) {
    readings.push_back(detector.at(sound.samples, center, kLowestPitch, kHighestPitch));
    loudest = std::max(loudest, readings.back().energy);
  }
  std::vector<double> pitches;
  std::size_t loud = 0;
  for (const PitchReading& reading : readings) {
    if (reading.energy > loudest * kQuietestStretch) {
      ++loud;
      if (reading.hertz > 0.0 && reading.aperiodicity < kMostAperiodic) {
        pitches.push_back(std::log(reading.hertz));
      }
    }
  }
  // A pitch heard in a quarter of the sound's loud part at least.
  if (loud == 0 || pitches.empty() || 4 * pitches.size() < loud) {
    return 0.0;
  }
  std::nth_element(pitches.begin(), pitches.begin() + static_cast<long>(pitches.size() / 2),
                   pitches.end());
  return std::exp(pitches[pitches.size() / 2]);
}
