#include <cstddef>
#include <cstring>

#include "voice/voice.h"
#include "voice/voice_layout.h"
#include "voice/voice_writer.h"

bool encodeEnvelope(const Envelope& envelope, VoiceWriter& writer) {
  writer.putInt32(envelope.count);
  // A count outside the envelope's capacity would read past it.
  if (envelope.count < 0 || envelope.count > kEnvelopeCapacity) {
    return false;
  }
  const auto count = static_cast<std::size_t>(envelope.count);
  writer.putFloat32s(envelope.times, count);
  writer.putFloat32s(envelope.values, count);
  return true;
}

namespace {

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kRecordIsLittleEndian = true;
#else
constexpr bool kRecordIsLittleEndian = false;
#endif

// A set whose every envelope is full is, byte for byte, its own encoding on
// a little-endian machine: the base frequency, then each envelope's count,
// times and values, with nothing between them.
static_assert(sizeof(Envelope) == 4 + 2 * 4 * kEnvelopeCapacity, "an envelope is packed");
static_assert(offsetof(EnvelopeSet, amplitudeEnvelopes) == 4, "envelopes follow the frequency");
static_assert(sizeof(EnvelopeSet) == 4 + 2 * kVoiceHarmonics * sizeof(Envelope), "a set is packed");

bool isOwnEncoding(const EnvelopeSet& set) {
  if (!kRecordIsLittleEndian) {
    return false;
  }
  for (const Envelope& envelope : set.amplitudeEnvelopes) {
    if (envelope.count != kEnvelopeCapacity) {
      return false;
    }
  }
  for (const Envelope& envelope : set.frequencyEnvelopes) {
    if (envelope.count != kEnvelopeCapacity) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool encodeEnvelopeSet(const EnvelopeSet& set, VoiceWriter& writer) {
  if (isOwnEncoding(set)) {
    writer.putRecord(&set, sizeof set);
    return true;
  }
  writer.putFloat32(set.baseFrequency);
  for (const Envelope& envelope : set.amplitudeEnvelopes) {
    if (!encodeEnvelope(envelope, writer)) {
      return false;
    }
  }
  for (const Envelope& envelope : set.frequencyEnvelopes) {
    if (!encodeEnvelope(envelope, writer)) {
      return false;
    }
  }
  return true;
}

bool encodeAuxList(const AuxList& list, VoiceWriter& writer) {
  writer.putInt32(list.count);
  if (list.count == 0) {
    return true;
  }
  // Lists with entries have no defined encoding beyond their first value.
  writer.putFloat32(list.values[0]);
  return false;
}

namespace {
bool encodeSlot(const Voice& voice, int slot, VoiceWriter& writer) {
  if (slot < 0 || slot >= kVoiceSlots) {
    return false;
  }
  return encodeEnvelopeSet(voice.sets[slot], writer) && encodeAuxList(voice.auxLists[slot], writer);
}
}  // namespace

bool encodeVoice(const Voice& voice, VoiceWriter& writer) {
  writer.putInt32(kVoiceFormatVersion);
  // The name field may be full, with no terminator of its own.
  char name[kVoiceNameBytes + 1];
  const void* end = std::memchr(voice.name, '\0', kVoiceNameBytes);
  const std::size_t nameLength =
      end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - voice.name)
                     : static_cast<std::size_t>(kVoiceNameBytes);
  std::memcpy(name, voice.name, nameLength);
  name[nameLength] = '\0';
  writer.putString(name);
  writer.putInt32(voice.reserved0);
  writer.putFloat32(voice.loopStart);
  writer.putFloat32(voice.loopEnd);
  writer.putInt32(voice.layerCount);
  writer.putInt32(voice.setsPerLayer);
  writer.putFloat32(voice.reserved1);
  for (int layer = 0; layer < voice.layerCount; ++layer) {
    const int sets = voice.setsPerLayer == 1 ? 1 : voice.setsPerLayer;
    for (int set = 0; set < sets; ++set) {
      if (!encodeSlot(voice, voiceSlot(layer, set, voice.setsPerLayer), writer)) {
        return false;
      }
    }
  }
  return true;
}
