#include "hvx/voice/voice_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "hvx/voice/printable_text.h"
#include "hvx/voice/voice_file.h"
#include "voice/voice_layout.h"

namespace {

// Numbers formatted by a fixed format (never user text).
template <typename... Values>
std::string formatted(const char* format, Values... values) {
  char line[160];
  std::snprintf(line, sizeof line, format, values...);
  return line;
}

// How far a ratio lies from the harmonic's own number, in cents.
double detuneCents(double ratio, int harmonic) {
  return 1200.0 * std::log2(ratio / static_cast<double>(harmonic));
}

std::string harmonicLine(const EnvelopeSet& set, int h) {
  const Envelope& amplitude = set.amplitudeEnvelopes[h];
  const Envelope& frequency = set.frequencyEnvelopes[h];
  const float peak = amplitude.count > 0
                         ? *std::max_element(amplitude.values, amplitude.values + amplitude.count)
                         : 0.0f;
  std::string line = formatted("  %8d  %8.6f  ", h + 1, static_cast<double>(peak));
  if (frequency.count == 0) {
    return line + "(none: plays at its own number)\n";
  }
  const auto range = std::minmax_element(frequency.values, frequency.values + frequency.count);
  return line + formatted("%+7.2f .. %+7.2f\n",
                          detuneCents(static_cast<double>(*range.first), h + 1),
                          detuneCents(static_cast<double>(*range.second), h + 1));
}

bool sounds(const Voice& voice) {
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  for (int i = 0; i < used; ++i) {
    for (const Envelope& amplitude : voice.sets[slots[i]].amplitudeEnvelopes) {
      if (std::any_of(amplitude.values, amplitude.values + amplitude.count,
                      [](float value) { return value > 0.0f; })) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

std::string summarizeVoice(const Voice& voice) {
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  int points = 0;
  double end = 0.0;
  std::string slotList;
  for (int i = 0; i < used; ++i) {
    slotList += (i > 0 ? ", " : "") + std::to_string(slots[i]);
    const EnvelopeSet& set = voice.sets[slots[i]];
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      for (const Envelope* envelope : {&set.amplitudeEnvelopes[h], &set.frequencyEnvelopes[h]}) {
        if (envelope->count > 0) {
          points = std::max(points, envelope->count);
          end = std::max(end, static_cast<double>(envelope->times[envelope->count - 1]));
        }
      }
    }
  }
  const std::string name = voiceNameOf(voice);
  std::string text = "  name            " + printableText(name) + "\n";
  text += formatted("  loop            %.6f .. %.6f s\n", static_cast<double>(voice.loopStart),
                    static_cast<double>(voice.loopEnd));
  text += "  points          " + std::to_string(points) + "\n";
  text += formatted("  duration        %.6f s (without the sustain hold)\n", end);
  if (!sounds(voice)) {
    text += "  silent          every amplitude is 0: the voice makes no sound\n";
  }
  text += "  sets in use     " + std::to_string(used) +
          (used > 0 ? (used > 1 ? " (slots " : " (slot ") + slotList + ")" : std::string()) + "\n";
  for (int i = 0; i < used; ++i) {
    const EnvelopeSet& set = voice.sets[slots[i]];
    text += formatted("  slot %d, base frequency %.6g Hz\n", slots[i],
                      static_cast<double>(set.baseFrequency));
    text += "  harmonic  peak      detune (cents)\n";
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      if (set.amplitudeEnvelopes[h].count > 0 || set.frequencyEnvelopes[h].count > 0) {
        text += harmonicLine(set, h);
      }
    }
  }
  return text;
}
