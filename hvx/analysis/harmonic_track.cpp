#include "hvx/analysis/harmonic_track.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "hvx/analysis/pitch.h"
#include "hvx/analysis/real_fft.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// Periods of the fundamental in a window: wide enough that a harmonic's
// neighbours leak less than -50 dB into it (Hann side lobes).
constexpr double kWindowPeriods = 6.0;
// Windows no shorter than this, whatever the pitch.
constexpr double kShortestWindowSeconds = 0.01;
// Within this many bins of Nyquist a peak cannot be told from its mirror.
constexpr double kNyquistGuardBins = 2.0;
// Half an octave either way of the note: vibrato, drift and glides, but no
// octave jumps.
constexpr double kTrackedRange = 1.41421356237309504880;
// A harmonic is followed through the spectrum from the ones below it; each
// step may stretch or shrink by this much.
constexpr double kSpacingChange = 0.1;
// How far from its predicted place a harmonic's peak may be, in spacings.
constexpr double kSearchWidth = 0.3;
// Peaks weaker than this, against the window's strongest, do not guide the
// search for the harmonics above them.
constexpr double kGuidingPeak = 1e-3;

int powerOfTwoAtLeast(int n) {
  int size = 2;
  while (size < n) {
    size *= 2;
  }
  return size;
}

// A peak between bins, from a parabola through the log magnitudes of three.
struct Peak {
  double bin;
  double magnitude;
};

Peak interpolatedPeak(const std::vector<float>& magnitude, int k) {
  const auto at = [&magnitude](int i) {
    return std::log(std::max(1e-30, static_cast<double>(magnitude[static_cast<std::size_t>(i)])));
  };
  const double a = at(k - 1), b = at(k), c = at(k + 1);
  const double curve = a - 2.0 * b + c;
  if (!(curve < 0.0)) {
    return Peak{static_cast<double>(k), std::exp(b)};
  }
  const double shift = std::clamp(0.5 * (a - c) / curve, -0.5, 0.5);
  return Peak{k + shift, std::exp(b - 0.25 * (a - c) * shift)};
}

// The window trackHarmonics measures a note with, in samples.
int windowSamples(double notePitch, double rate) {
  const double periods = kWindowPeriods * kTrackedRange / notePitch;
  return std::max(16,
                  static_cast<int>(std::lround(std::max(periods, kShortestWindowSeconds) * rate)));
}

class FrameAnalyser {
 public:
  FrameAnalyser(const Sound& sound, double notePitch)
      : sound_(sound),
        rate_(sound.sampleRate),
        length_(windowSamples(notePitch, sound.sampleRate)),
        fft_(2 * powerOfTwoAtLeast(length_)),
        window_(static_cast<std::size_t>(length_)) {
    for (int i = 0; i < length_; ++i) {
      window_[static_cast<std::size_t>(i)] =
          static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * (i + 0.5) / length_));
    }
  }

  double seconds() const { return static_cast<double>(length_) / rate_; }

  // One point's harmonics around sample `center` for a fundamental `pitch`.
  // Returns how far, in samples, the window's middle lies from `center`: 0
  // unless it had to move inside the sound.
  double measure(long center, double pitch, float* amplitude, float* frequency) {
    double offset = 0.0;
    const double sum = fillFrame(center, offset);
    fft_.forward(frame_, spectrum_);
    magnitude_.resize(spectrum_.size());
    float strongest = 0.0f;
    for (std::size_t k = 0; k < spectrum_.size(); ++k) {
      magnitude_[k] = std::abs(spectrum_[k]);
      strongest = std::max(strongest, magnitude_[k]);
    }
    const double binHertz = rate_ / fft_.size();
    const double nyquist = rate_ / 2.0 - kNyquistGuardBins * rate_ / fft_.size();
    const auto lastBin = static_cast<int>(magnitude_.size()) - 2;
    double guideHertz = 0.0;  // the last harmonic found clearly, and its number
    int guideHarmonic = 0;
    double spacing = pitch;
    double previousHertz = -1.0;  // harmonic h - 1, when it was found clearly
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      const double predicted = guideHertz + spacing * (h + 1 - guideHarmonic);
      frequency[h] = static_cast<float>(predicted);
      amplitude[h] = 0.0f;
      const double reach = kSearchWidth * spacing;
      const int low = std::max(1, static_cast<int>(std::ceil((predicted - reach) / binHertz)));
      const int high =
          std::min(lastBin, static_cast<int>(std::floor((predicted + reach) / binHertz)));
      if (predicted >= nyquist || !(sum > 0.0) || low > high) {
        previousHertz = -1.0;
        continue;  // at or above Nyquist a harmonic is silent
      }
      int best = low;
      for (int k = low; k <= high; ++k) {
        if (magnitude_[static_cast<std::size_t>(k)] > magnitude_[static_cast<std::size_t>(best)]) {
          best = k;
        }
      }
      const bool isPeak = magnitude_[static_cast<std::size_t>(best)] >=
                              magnitude_[static_cast<std::size_t>(best - 1)] &&
                          magnitude_[static_cast<std::size_t>(best)] >=
                              magnitude_[static_cast<std::size_t>(best + 1)];
      const Peak peak = isPeak ? interpolatedPeak(magnitude_, best)
                               : Peak{predicted / binHertz,
                                      magnitude_[static_cast<std::size_t>(std::lround(
                                          std::clamp(predicted / binHertz, 1.0, 1.0 * lastBin)))]};
      const double hertz = peak.bin * binHertz;
      if (hertz >= nyquist) {
        previousHertz = -1.0;
        continue;
      }
      amplitude[h] = static_cast<float>(2.0 * peak.magnitude / sum);
      if (!isPeak || peak.magnitude < kGuidingPeak * strongest) {
        previousHertz = -1.0;
        continue;  // too weak to trust its place: the prediction stands
      }
      frequency[h] = static_cast<float>(hertz);
      if (previousHertz > 0.0) {
        spacing = std::clamp(hertz - previousHertz, spacing * (1.0 - kSpacingChange),
                             spacing * (1.0 + kSpacingChange));
      }
      previousHertz = hertz;
      guideHertz = hertz;
      guideHarmonic = h + 1;
    }
    return offset;
  }

 private:
  // The windowed stretch around `center`, zero-padded; returns the sum of the
  // window over the samples that exist, which scales a peak to an amplitude.
  double fillFrame(long center, double& offset) {
    frame_.assign(static_cast<std::size_t>(fft_.size()), 0.0f);
    const auto count = static_cast<long>(sound_.samples.size());
    // Near an end the whole window moves inside the sound: a truncated one
    // would smear every peak.
    const long first = std::max(0L, std::min(center - length_ / 2, count - length_));
    offset = static_cast<double>(first + length_ / 2 - center);
    double sum = 0.0;
    for (long i = 0; i < length_ && first + i < count; ++i) {
      const float w = window_[static_cast<std::size_t>(i)];
      frame_[static_cast<std::size_t>(i)] = w * sound_.samples[static_cast<std::size_t>(first + i)];
      sum += static_cast<double>(w);
    }
    return sum;
  }

  const Sound& sound_;
  double rate_;
  int length_;
  RealFft fft_;
  std::vector<float> window_, frame_, magnitude_;
  std::vector<std::complex<float>> spectrum_;
};

}  // namespace

double analysisWindowSeconds(double notePitch, double rate) {
  return static_cast<double>(windowSamples(notePitch, rate)) / rate;
}

double levelAtOffset(double hertz, double windowSeconds) {
  // A Hann window's transform, against its peak, `bins` of its own length off.
  const double bins = std::fabs(hertz * windowSeconds);
  if (bins < 1e-9) {
    return 1.0;
  }
  const double denominator = 1.0 - bins * bins;
  if (std::fabs(denominator) < 1e-9) {
    return 0.5;
  }
  return std::fabs(std::sin(kPi * bins) / (kPi * bins * denominator));
}

int pointsFitting(double seconds, double interval, int most) {
  const double fitting = std::floor(seconds / interval + 1e-9) + 1.0;
  return static_cast<int>(std::min(fitting, static_cast<double>(most)));
}

HarmonicFrames trackHarmonics(const Sound& sound, double notePitch, double interval, int points,
                              double from, double exactPitch) {
  HarmonicFrames frames;
  frames.interval = interval;
  frames.points = points;
  frames.pitch.assign(static_cast<std::size_t>(points), notePitch);
  frames.amplitude.assign(static_cast<std::size_t>(points * kAnalysedHarmonics), 0.0f);
  frames.frequency.assign(static_cast<std::size_t>(points * kAnalysedHarmonics), 0.0f);
  const double lowest = notePitch / kTrackedRange;
  const double highest = notePitch * kTrackedRange;
  // Outside what YIN hears, the named pitch holds throughout.
  const bool follow = lowest >= kLowestPitch && highest <= kHighestPitch;
  PitchDetector detector(sound.sampleRate);
  FrameAnalyser analyser(sound, notePitch);
  double pitch = notePitch;
  std::vector<bool> whole;
  std::vector<double> offsets;
  for (int p = 0; p < points; ++p) {
    const long center = std::lround((from + p * interval) * sound.sampleRate);
    if (follow) {
      const PitchReading reading = detector.at(sound.samples, center, lowest, highest);
      if (reading.hertz > 0.0 && reading.aperiodicity < kMostAperiodic) {
        pitch = reading.hertz;
      }
    }
    frames.pitch[static_cast<std::size_t>(p)] = pitch;
    const auto cell = static_cast<std::size_t>(p * kAnalysedHarmonics);
    offsets.push_back(
        analyser.measure(center, pitch, &frames.amplitude[cell], &frames.frequency[cell]) /
        sound.sampleRate);
    if (exactPitch > 0.0) {
      for (int h = 0; h < kAnalysedHarmonics; ++h) {
        const double response = levelAtOffset(
            static_cast<double>(frames.frequency[cell + static_cast<std::size_t>(h)]) -
                exactPitch * static_cast<double>(h + 1),
            analyser.seconds());
        float& level = frames.amplitude[cell + static_cast<std::size_t>(h)];
        level = static_cast<float>(static_cast<double>(level) * response);
      }
    }
    whole.push_back(offsets.back() == 0.0);
  }
  // A window moved inside the sound measures a moment off its point: its
  // levels are brought back along the slope to the nearest centred window,
  // and it takes that window's frequencies.
  for (int p = 0; p < points; ++p) {
    if (whole[static_cast<std::size_t>(p)]) {
      continue;
    }
    int nearest = -1;
    for (int q = 0; q < points; ++q) {
      if (whole[static_cast<std::size_t>(q)] &&
          (nearest < 0 || std::abs(q - p) < std::abs(nearest - p))) {
        nearest = q;
      }
    }
    if (nearest < 0) {
      continue;
    }
    const double step = (nearest - p) * interval;
    const double shift = offsets[static_cast<std::size_t>(p)];
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      float& level = frames.amplitude[static_cast<std::size_t>(p * kAnalysedHarmonics + h)];
      const double slope = (frames.amplitudeAt(nearest, h) - level) / step;
      level = static_cast<float>(std::max(0.0, level - slope * shift));
    }
    {
      std::copy_n(&frames.frequency[static_cast<std::size_t>(nearest * kAnalysedHarmonics)],
                  kAnalysedHarmonics,
                  &frames.frequency[static_cast<std::size_t>(p * kAnalysedHarmonics)]);
    }
  }
  return frames;
}

HarmonicFrames trackAveragedHarmonics(const Sound& sound, double notePitch, double interval,
                                      int points, double from, double exactPitch) {
  constexpr double kClosest = 0.02;
  const int each =
      std::clamp(static_cast<int>(std::ceil(interval / kClosest - 1e-9)), 1, kMostAveraged);
  if (each == 1 || points < 1) {
    return trackHarmonics(sound, notePitch, interval, points, from, exactPitch);
  }
  const int half = each / 2;
  const int finePoints = (points - 1) * each + each - half;
  const HarmonicFrames fine =
      trackHarmonics(sound, notePitch, interval / each, finePoints, from, exactPitch);
  HarmonicFrames frames = fine;
  frames.interval = interval;
  frames.points = points;
  frames.pitch.resize(static_cast<std::size_t>(points));
  frames.amplitude.assign(static_cast<std::size_t>(points * kAnalysedHarmonics), 0.0f);
  frames.frequency.resize(static_cast<std::size_t>(points * kAnalysedHarmonics));
  for (int p = 0; p < points; ++p) {
    const int centre = p * each;
    frames.pitch[static_cast<std::size_t>(p)] = fine.pitch[static_cast<std::size_t>(centre)];
    const int first = std::max(0, centre - half);
    const int last = std::min(finePoints - 1, centre - half + each - 1);
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      double sum = 0.0;
      for (int q = first; q <= last; ++q) {
        sum += static_cast<double>(fine.amplitudeAt(q, h));
      }
      const auto cell = static_cast<std::size_t>(p * kAnalysedHarmonics + h);
      frames.amplitude[cell] = static_cast<float>(sum / (last - first + 1));
      frames.frequency[cell] = fine.frequencyAt(centre, h);
    }
  }
  return frames;
}

double refinePitch(const Sound& sound, double pitch) {
  constexpr int kPoints = 24;
  const double interval = sound.seconds() / kPoints;
  const HarmonicFrames frames =
      trackHarmonics(sound, pitch, interval, pointsFitting(sound.seconds(), interval, kPoints));
  const auto loudestAt = [&frames](int p) {
    return *std::max_element(
        &frames.amplitude[static_cast<std::size_t>(p * kAnalysedHarmonics)],
        &frames.amplitude[static_cast<std::size_t>((p + 1) * kAnalysedHarmonics)]);
  };
  float loudest = 0.0f;
  for (int p = 0; p < frames.points; ++p) {
    loudest = std::max(loudest, loudestAt(p));
  }
  // Only where the note sounds: within 30 dB of its loudest point, and with
  // a fundamental a tenth of that point's strongest harmonic at least.
  std::vector<double> found;
  for (int p = 0; p < frames.points; ++p) {
    const float first = frames.amplitudeAt(p, 0);
    if (loudestAt(p) >= 0.03f * loudest && first > 0.0f && first >= 0.1f * loudestAt(p)) {
      found.push_back(static_cast<double>(frames.frequencyAt(p, 0)));
    }
  }
  if (found.empty()) {
    return pitch;
  }
  std::nth_element(found.begin(), found.begin() + static_cast<long>(found.size() / 2), found.end());
  const double refined = found[found.size() / 2];
  // A fundamental far from the period found is some other peak.
  return std::fabs(std::log2(refined / pitch)) < 1.0 / 24.0 ? refined : pitch;
}

float loudestAmplitude(const HarmonicFrames& frames, int points) {
  float loudest = 0.0f;
  for (int p = 0; p < std::min(points, frames.points); ++p) {
    for (int h = 0; h < kAnalysedHarmonics; ++h) {
      loudest = std::max(loudest, frames.amplitudeAt(p, h));
    }
  }
  return loudest >= kQuietestMeasured ? loudest : 0.0f;
}
