#include "hvx/audio/playback_plan.h"

#include <algorithm>

#include "voice/voice_layout.h"

PlaybackPlan planPlayback(const Voice& voice, double holdSeconds, double gateSeconds) {
  PlaybackPlan plan;
  plan.loopEnd = static_cast<double>(voice.loopEnd);
  // A loop that starts after its end holds the end point instead.
  plan.loopStart = std::min(static_cast<double>(voice.loopStart), plan.loopEnd);
  plan.keyUp = gateSeconds >= 0.0 ? gateSeconds : plan.loopEnd + holdSeconds;
  plan.end = plan.loopEnd;
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  for (int i = 0; i < used; ++i) {
    const EnvelopeSet& set = voice.sets[slots[i]];
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      for (const Envelope* envelope : {&set.amplitudeEnvelopes[h], &set.frequencyEnvelopes[h]}) {
        if (envelope->count > 0) {
          plan.end = std::max(plan.end, static_cast<double>(envelope->times[envelope->count - 1]));
        }
      }
    }
  }
  return plan;
}
