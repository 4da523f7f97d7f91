#include "voice/voice.h"

#include <cstring>

void resetEnvelope(Envelope& envelope) { std::memset(&envelope, 0, sizeof envelope); }

void resetEnvelopeSet(EnvelopeSet& set) {
  set.baseFrequency = kBaseFrequency;
  for (Envelope& envelope : set.amplitudeEnvelopes) {
    resetEnvelope(envelope);
  }
  for (Envelope& envelope : set.frequencyEnvelopes) {
    resetEnvelope(envelope);
  }
}

void resetAuxList(AuxList& list) {
  list.count = 0;
  std::memset(list.values, 0, sizeof list.values);
}

void resetVoiceCounts(Voice& voice) {
  static const char kDefaultName[kVoiceNameBytes] = "Voice Name";
  std::memcpy(voice.name, kDefaultName, sizeof voice.name);
  voice.reserved0 = 0;
  voice.loopStart = 0.0f;
  voice.loopEnd = 0.0f;
  voice.layerCount = 1;
  voice.setsPerLayer = 1;
  voice.reserved1 = 0.0f;
  for (EnvelopeSet& set : voice.sets) {
    set.baseFrequency = kBaseFrequency;
    for (Envelope& envelope : set.amplitudeEnvelopes) {
      envelope.count = 0;
    }
    for (Envelope& envelope : set.frequencyEnvelopes) {
      envelope.count = 0;
    }
  }
  for (AuxList& list : voice.auxLists) {
    list.count = 0;
  }
}

void resetVoice(Voice& voice) {
  resetVoiceCounts(voice);
  for (EnvelopeSet& set : voice.sets) {
    resetEnvelopeSet(set);
  }
  for (AuxList& list : voice.auxLists) {
    resetAuxList(list);
  }
}
