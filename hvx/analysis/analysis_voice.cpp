#include "hvx/analysis/analysis_voice.h"

#include <algorithm>
#include <cstring>

#include "voice/voice_layout.h"

namespace {
constexpr int kSlot = voiceSlot(0, 0, 1);
}

double buildAnalysisVoice(const HarmonicFrames& frames, double referenceHertz,
                          const SustainLoop& loop, double ceiling, const std::string& name,
                          Voice& voice) {
  resetVoice(voice);
  std::memset(voice.name, 0, sizeof voice.name);
  std::memcpy(voice.name, name.data(), std::min(name.size(), sizeof voice.name));
  voice.layerCount = 1;
  voice.setsPerLayer = 1;
  voice.loopStart = static_cast<float>(loop.start * frames.interval);
  voice.loopEnd = static_cast<float>(loop.end * frames.interval);
  EnvelopeSet& set = voice.sets[kSlot];
  // Played at `referenceHertz`, a ratio r sounds at r * referenceHertz.
  const int points = std::min(frames.points, kMaxVoicePoints);
  const float loudest = loudestAmplitude(frames, points);
  // A sound with nothing above the rounding noise gives a silent voice.
  const double gain = loudest > 0.0f ? ceiling / static_cast<double>(loudest) : 0.0;
  for (int h = 0; h < kAnalysedHarmonics; ++h) {
    Envelope& level = set.amplitudeEnvelopes[h];
    Envelope& ratio = set.frequencyEnvelopes[h];
    for (int p = 0; p <= points; ++p) {
      const auto time = static_cast<float>(p * frames.interval);
      const int measured = std::min(p, points - 1);
      level.times[p] = ratio.times[p] = time;
      // The last breakpoint is the silence the sound ends in.
      level.values[p] =
          p < points ? static_cast<float>(gain * static_cast<double>(frames.amplitudeAt(p, h)))
                     : 0.0f;
      ratio.values[p] = static_cast<float>(
          std::max(0.0, static_cast<double>(frames.frequencyAt(measured, h))) / referenceHertz);
    }
    level.count = ratio.count = points + 1;
  }
  return gain;
}
