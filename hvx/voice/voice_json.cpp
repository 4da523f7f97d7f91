#include "hvx/voice/voice_json.h"

#include <cstring>

#include "hvx/voice/voice_file.h"
#include "voice/voice_layout.h"

namespace {

VoiceJson envelopeToJson(const Envelope& envelope) {
  const auto count = static_cast<std::size_t>(envelope.count);
  return VoiceJson{{"times", std::vector<float>(envelope.times, envelope.times + count)},
                   {"values", std::vector<float>(envelope.values, envelope.values + count)}};
}

}  // namespace

VoiceJson voiceToJson(const Voice& voice) {
  VoiceJson json;
  json["name"] = voiceNameOf(voice);
  json["reserved0"] = voice.reserved0;
  json["loopStart"] = voice.loopStart;
  json["loopEnd"] = voice.loopEnd;
  json["layerCount"] = voice.layerCount;
  json["setsPerLayer"] = voice.setsPerLayer;
  json["reserved1"] = voice.reserved1;
  json["sets"] = VoiceJson::array();
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  for (int i = 0; i < used; ++i) {
    const EnvelopeSet& set = voice.sets[slots[i]];
    VoiceJson harmonics = VoiceJson::array();
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      harmonics.push_back({{"harmonic", h + 1},
                           {"amplitude", envelopeToJson(set.amplitudeEnvelopes[h])},
                           {"frequency", envelopeToJson(set.frequencyEnvelopes[h])}});
    }
    json["sets"].push_back({{"slot", slots[i]},
                            {"baseFrequency", set.baseFrequency},
                            {"harmonics", std::move(harmonics)}});
  }
  return json;
}
