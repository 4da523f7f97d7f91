#include "hvx/audio/voice_render.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "hvx/audio/envelope_sampler.h"
#include "hvx/audio/oscillator_bank.h"
#include "hvx/audio/playback_plan.h"
#include "voice/voice_layout.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
// Samples between envelope readings. Each harmonic's amplitude runs in a
// straight line and its frequency stands still inside a block.
constexpr long long kBlockSamples = 128;

// One harmonic of one set, with what turns its ratios into hertz.
struct Partial {
  EnvelopeSampler amplitude;
  EnvelopeSampler ratio;
  double hertzPerRatio;
  // The amplitude last read at the end of a block: the next block starts
  // there. No envelope time is negative, so -1 is none.
  double endTime;
  double endAmplitude;
};

std::vector<Partial> audiblePartials(const Voice& voice, double transpose) {
  std::vector<Partial> partials;
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  for (int i = 0; i < used; ++i) {
    const EnvelopeSet& set = voice.sets[slots[i]];
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      const Envelope& amplitude = set.amplitudeEnvelopes[h];
      const bool sounds = std::any_of(amplitude.values, amplitude.values + amplitude.count,
                                      [](float value) { return value > 0.0f; });
      if (sounds) {
        // Without a frequency envelope a harmonic keeps its own number.
        partials.push_back(
            Partial{EnvelopeSampler(amplitude, 0.0),
                    EnvelopeSampler(set.frequencyEnvelopes[h], static_cast<double>(h + 1)),
                    static_cast<double>(set.baseFrequency) * transpose, -1.0, 0.0});
      }
    }
  }
  return partials;
}

float largestAmplitude(const Voice& voice) {
  float largest = 0.0f;
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  for (int i = 0; i < used; ++i) {
    for (const Envelope& amplitude : voice.sets[slots[i]].amplitudeEnvelopes) {
      for (int k = 0; k < amplitude.count; ++k) {
        // Anything not a number counts as too large.
        largest = amplitude.values[k] <= largest ? largest : amplitude.values[k];
      }
    }
  }
  return largest;
}

double transposition(const Voice& voice, const RenderSettings& settings) {
  const double base = voiceBaseFrequency(voice);
  return settings.frequency > 0.0 && base > 0.0 ? settings.frequency / base : 1.0;
}

class Renderer {
 public:
  Renderer(std::vector<Partial> partials, double sampleRate, long long total, const PieceSink& sink)
      : partials_(std::move(partials)),
        rate_(sampleRate),
        total_(total),
        sink_(sink),
        piece_(kPreviewPieceSamples, 0.0f) {
    bank_ = std::make_unique<OscillatorBank>(partials_.size());
  }

  // Hands on the samples not yet handed on; false when the sink stopped.
  bool finish() { return flushTo(total_); }

  void render(const PlaybackSpan& span) {
    if (stopped_) {
      return;
    }
    if (span.joinFrom >= 0.0) {
      for (Partial& partial : partials_) {
        partial.amplitude.joinFrom(span.envelopeStart, partial.amplitude.valueAt(span.joinFrom),
                                   span.joinUntil);
        partial.ratio.joinFrom(span.envelopeStart, partial.ratio.valueAt(span.joinFrom),
                               span.joinUntil);
        partial.endTime = -1.0;  // the envelope now reads differently
      }
    }
    const long long first = std::max(0LL, std::llround(span.outputStart * rate_));
    const long long end = std::min(total_, std::llround(span.outputEnd * rate_));
    for (long long block = first; block < end; block += kBlockSamples) {
      const long long count = std::min(kBlockSamples, end - block);
      const double startTime = span.envelopeTimeAt(static_cast<double>(block) / rate_);
      const double endTime = span.envelopeTimeAt(static_cast<double>(block + count) / rate_);
      if (block + count > pieceStart_ + static_cast<long long>(kPreviewPieceSamples) &&
          !flushTo(block)) {
        return;
      }
      prepareBlock(startTime, endTime, static_cast<int>(count));
      bank_->run(piece_.data() + (block - pieceStart_), static_cast<int>(count));
    }
  }

 private:
  void prepareBlock(double startTime, double endTime, int count) {
    const double nyquist = rate_ / 2.0;
    const double middle = (startTime + endTime) / 2.0;
    for (std::size_t i = 0; i < partials_.size(); ++i) {
      Partial& partial = partials_[i];
      const double hertz = partial.ratio.valueAt(middle) * partial.hertzPerRatio;
      if (!(hertz > 0.0 && hertz < nyquist)) {
        bank_->silence(i);  // nothing at or above half the sample rate
        continue;
      }
      bank_->setFrequency(i, kTwoPi * hertz / rate_);
      const double start = startTime == partial.endTime ? partial.endAmplitude
                                                        : partial.amplitude.valueAt(startTime);
      partial.endTime = endTime;
      partial.endAmplitude = partial.amplitude.valueAt(endTime);
      bank_->setAmplitudeRamp(i, start, partial.endAmplitude, count);
    }
  }

  // Hands on the samples before `end`, which starts the next piece.
  bool flushTo(long long end) {
    if (!stopped_ && end > pieceStart_) {
      stopped_ = !sink_(piece_.data(), static_cast<std::size_t>(end - pieceStart_));
      std::fill(piece_.begin(), piece_.end(), 0.0f);
      pieceStart_ = end;
    }
    return !stopped_;
  }

  std::vector<Partial> partials_;
  double rate_;
  long long total_;
  const PieceSink& sink_;
  std::vector<float> piece_;
  long long pieceStart_ = 0;
  bool stopped_ = false;
  std::unique_ptr<OscillatorBank> bank_;
};

void applyGain(RenderedAudio& audio, const RenderSettings& settings) {
  audio.peak = largestMagnitude(audio.samples.data(), audio.samples.size());
  audio.gain = normalizingGain(audio.peak, settings);
  audio.clipped =
      applyPreviewGain(audio.samples.data(), audio.samples.size(), audio.gain, settings.normalize);
}

}  // namespace

double largestMagnitude(const float* samples, std::size_t count) {
  // By the bits without the sign: for magnitudes they order as the numbers
  // do, and a loop of integer maxima vectorises where one of floating-point
  // maxima may not. Anything not a number counts as nothing.
  constexpr std::int32_t kInfinityBits = 0x7f800000;
  std::int32_t largest = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::int32_t bits;
    std::memcpy(&bits, samples + i, sizeof bits);
    const std::int32_t magnitude = bits & 0x7fffffff;
    const std::int32_t counted = magnitude <= kInfinityBits ? magnitude : 0;
    largest = counted > largest ? counted : largest;
  }
  float peak;
  std::memcpy(&peak, &largest, sizeof peak);
  return static_cast<double>(peak);
}

bool applyPreviewGain(float* samples, std::size_t count, double gain, bool normalize) {
  if (normalize) {
    for (std::size_t i = 0; i < count; ++i) {
      samples[i] = static_cast<float>(static_cast<double>(samples[i]) * gain);
    }
    return false;
  }
  // Without branches, so that it vectorises.
  unsigned clipped = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const float sample = samples[i];
    clipped |= static_cast<unsigned>(sample > 1.0f) | static_cast<unsigned>(sample < -1.0f);
    const float floor = sample < -1.0f ? -1.0f : sample;
    samples[i] = floor > 1.0f ? 1.0f : floor;
  }
  return clipped != 0;
}

double normalizingGain(double peak, const RenderSettings& settings) {
  return settings.normalize && peak > 0.0 ? std::pow(10.0, kNormalizedPeakDb / 20.0) / peak : 1.0;
}

double voiceBaseFrequency(const Voice& voice) {
  int slots[kVoiceSlots];
  return slotsInUse(voice, slots) > 0 ? static_cast<double>(voice.sets[slots[0]].baseFrequency)
                                      : static_cast<double>(kBaseFrequency);
}

long long renderedSampleCount(const Voice& voice, const RenderSettings& settings) {
  const PlaybackPlan plan = planPlayback(voice, settings.holdSeconds, settings.gateSeconds);
  return std::llround(plan.durationSeconds() * static_cast<double>(settings.sampleRate));
}

std::string renderProblem(const Voice& voice, const RenderSettings& settings) {
  if (settings.sampleRate < kMinSampleRate || settings.sampleRate > kMaxSampleRate) {
    return "sample rate " + std::to_string(settings.sampleRate) + " Hz is outside " +
           std::to_string(kMinSampleRate) + ".." + std::to_string(kMaxSampleRate);
  }
  if (!(settings.holdSeconds >= 0.0 && settings.holdSeconds <= kMaxHoldSeconds)) {
    return "hold time is outside 0.." + std::to_string(static_cast<int>(kMaxHoldSeconds)) + " s";
  }
  if (!(settings.gateSeconds <= kMaxHoldSeconds)) {
    return "gate time is beyond " + std::to_string(static_cast<int>(kMaxHoldSeconds)) + " s";
  }
  if (!(settings.frequency >= 0.0 && std::isfinite(settings.frequency))) {
    return "frequency is not a positive number";
  }
  const float largest = largestAmplitude(voice);
  if (!(static_cast<double>(largest) <= kMaxRenderAmplitude)) {
    char text[160];
    std::snprintf(text, sizeof text, "an amplitude of %g is beyond what a preview takes (%g)",
                  static_cast<double>(largest), kMaxRenderAmplitude);
    return text;
  }
  const PlaybackPlan plan = planPlayback(voice, settings.holdSeconds, settings.gateSeconds);
  if (!(plan.durationSeconds() <= kMaxRenderSeconds)) {
    return "the preview would last " + std::to_string(plan.durationSeconds()) + " s; at most " +
           std::to_string(static_cast<int>(kMaxRenderSeconds)) + " s are rendered";
  }
  return "";
}

bool renderVoicePieces(const Voice& voice, const RenderSettings& settings, const PieceSink& sink) {
  if (!renderProblem(voice, settings).empty()) {
    return false;
  }
  const double rate = static_cast<double>(settings.sampleRate);
  Renderer renderer(audiblePartials(voice, transposition(voice, settings)), rate,
                    renderedSampleCount(voice, settings), sink);
  forEachSpan(planPlayback(voice, settings.holdSeconds, settings.gateSeconds), rate,
              [&renderer](const PlaybackSpan& span) { renderer.render(span); });
  return renderer.finish();
}

RenderedAudio renderVoice(const Voice& voice, const RenderSettings& settings) {
  RenderedAudio audio;
  audio.sampleRate = settings.sampleRate;
  if (!renderProblem(voice, settings).empty()) {
    return audio;
  }
  audio.samples.reserve(static_cast<std::size_t>(renderedSampleCount(voice, settings)));
  renderVoicePieces(voice, settings, [&audio](const float* samples, std::size_t count) {
    audio.samples.insert(audio.samples.end(), samples, samples + count);
    return true;
  });
  applyGain(audio, settings);
  return audio;
}

double toDecibels(double magnitude) { return 20.0 * std::log10(magnitude); }
