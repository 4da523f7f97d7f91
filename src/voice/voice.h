#pragma once

#include <cstdint>

#include "common/store_limits.h"

constexpr int kEnvelopeCapacity = kMaxPoints;
constexpr int kVoiceHarmonics = kMaxHarmonics;
constexpr int kVoiceSlots = 2;
constexpr int kVoiceNameBytes = 64;
constexpr int kAuxCapacity = 128;
constexpr float kBaseFrequency = 440.0f;

// A breakpoint list: `count` times, then `count` values.
struct Envelope {
  std::int32_t count;
  float times[kEnvelopeCapacity];
  float values[kEnvelopeCapacity];
};

// One amplitude and one frequency envelope per harmonic; index h is harmonic
// h + 1, frequency values are ratios to `baseFrequency`.
struct EnvelopeSet {
  float baseFrequency;
  Envelope amplitudeEnvelopes[kVoiceHarmonics];
  Envelope frequencyEnvelopes[kVoiceHarmonics];
};

// Extra per-slot values. The converter never stores any.
struct AuxList {
  std::int32_t count;
  float values[kAuxCapacity];
};

// Slot of layer i and set j is 2 * i + j.
struct Voice {
  char name[kVoiceNameBytes];  // not terminated when 64 characters long
  std::int32_t reserved0;
  float loopStart;
  float loopEnd;
  std::int32_t layerCount;
  std::int32_t setsPerLayer;
  float reserved1;
  EnvelopeSet sets[kVoiceSlots];
  AuxList auxLists[kVoiceSlots];
};

void resetEnvelope(Envelope& envelope);
void resetEnvelopeSet(EnvelopeSet& set);
void resetAuxList(AuxList& list);
// Name "Voice Name", both sets at 440 Hz with empty envelopes, no aux values.
void resetVoice(Voice& voice);
// The same reset as far as encoding can see: every name, header field, base
// frequency and count, but not the times and values beyond each count.
void resetVoiceCounts(Voice& voice);
