#include "voice/voice_reader.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "voice/voice_layout.h"

namespace {

std::string hex32(std::uint32_t value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) {
    text += kDigits[(value >> shift) & 0xFu];
  }
  return text;
}

std::string envelopeName(bool frequency, int harmonic, int slot) {
  return std::string(frequency ? "frequency" : "amplitude") + " envelope of harmonic " +
         std::to_string(harmonic + 1) + " in slot " + std::to_string(slot);
}

// Reads the file front to back; every read is preceded by a check that the
// bytes are there.
class VoiceParser {
 public:
  VoiceParser(const unsigned char* data, std::size_t size, VoiceReadError& error)
      : data_(data), size_(size), error_(error) {}

  bool parse(Voice& voice) {
    resetVoice(voice);
    if (!readHeader(voice)) {
      return false;
    }
    int slots[kVoiceSlots];
    const int used = slotsInUse(voice, slots);
    for (int i = 0; i < used; ++i) {
      if (!readSet(voice.sets[slots[i]], slots[i]) ||
          !readAuxList(voice.auxLists[slots[i]], slots[i])) {
        return false;
      }
    }
    if (position_ != size_) {
      return fail(position_,
                  std::to_string(size_ - position_) + " stray bytes after the end of the voice");
    }
    return true;
  }

 private:
  bool fail(std::size_t offset, std::string problem) {
    error_.offset = offset;
    error_.problem = std::move(problem);
    return false;
  }

  // True when `bytes` more bytes are there; otherwise the error names `what`.
  bool need(std::size_t bytes, const std::string& what) {
    if (size_ - position_ < bytes) {
      return fail(position_, "file ends inside the " + what);
    }
    return true;
  }

  std::uint32_t takeBits() {
    const unsigned char* p = data_ + position_;
    position_ += kVoiceFieldBytes;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }

  bool takeInt32(const std::string& what, std::int32_t& value) {
    if (!need(kVoiceFieldBytes, what)) {
      return false;
    }
    value = static_cast<std::int32_t>(takeBits());
    return true;
  }

  bool takeFloat32(const std::string& what, float& value) {
    if (!need(kVoiceFieldBytes, what)) {
      return false;
    }
    const std::uint32_t bits = takeBits();
    std::memcpy(&value, &bits, sizeof value);
    return true;
  }

  // A count field that must lie in 0..limit.
  bool takeCount(const std::string& what, int limit, std::int32_t& count) {
    const std::size_t at = position_;
    if (!takeInt32(what, count)) {
      return false;
    }
    if (count < 0 || count > limit) {
      return fail(at,
                  what + " is " + std::to_string(count) + ", outside 0.." + std::to_string(limit));
    }
    return true;
  }

  bool readName(Voice& voice) {
    const std::size_t at = position_;
    const std::size_t available = size_ - position_;
    const std::size_t field = static_cast<std::size_t>(kVoiceNameBytes) + 1;
    const void* end = std::memchr(data_ + position_, '\0', available < field ? available : field);
    if (end == nullptr) {
      return available < field ? fail(at, "file ends inside the name")
                               : fail(at, "name is longer than " + std::to_string(kVoiceNameBytes) +
                                              " characters");
    }
    const auto length =
        static_cast<std::size_t>(static_cast<const unsigned char*>(end) - (data_ + position_));
    std::memset(voice.name, 0, sizeof voice.name);
    std::memcpy(voice.name, data_ + position_, length);
    position_ += length + 1;
    return true;
  }

  bool readHeader(Voice& voice) {
    std::int32_t version = 0;
    if (!takeInt32("format version", version)) {
      return false;
    }
    if (version != kVoiceFormatVersion) {
      return fail(0, "not a voice file (format version " +
                         hex32(static_cast<std::uint32_t>(version)) + ", expected " +
                         hex32(static_cast<std::uint32_t>(kVoiceFormatVersion)) + ")");
    }
    if (!readName(voice) || !takeInt32("header", voice.reserved0)) {
      return false;
    }
    const std::size_t loopAt = position_;
    if (!takeFloat32("loop start", voice.loopStart) || !takeFloat32("loop end", voice.loopEnd)) {
      return false;
    }
    for (const float* time : {&voice.loopStart, &voice.loopEnd}) {
      if (!(std::isfinite(*time) && *time >= 0.0f)) {
        return fail(time == &voice.loopStart ? loopAt : loopAt + kVoiceFieldBytes,
                    "loop times are not non-negative numbers");
      }
    }
    if (voice.loopStart > voice.loopEnd) {
      return fail(loopAt, "loop starts after it ends");
    }
    return takeCount("layer count", kMaxLayers, voice.layerCount) &&
           takeCount("sets per layer", kMaxSetsPerLayer, voice.setsPerLayer) &&
           takeFloat32("header", voice.reserved1);
  }

  bool readSet(EnvelopeSet& set, int slot) {
    const std::size_t at = position_;
    const std::string where = " in slot " + std::to_string(slot);
    if (!takeFloat32("base frequency" + where, set.baseFrequency)) {
      return false;
    }
    if (!(std::isfinite(set.baseFrequency) && set.baseFrequency > 0.0f)) {
      return fail(at, "base frequency" + where + " is not a positive number");
    }
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      if (!readEnvelope(set.amplitudeEnvelopes[h], envelopeName(false, h, slot))) {
        return false;
      }
    }
    for (int h = 0; h < kVoiceHarmonics; ++h) {
      if (!readEnvelope(set.frequencyEnvelopes[h], envelopeName(true, h, slot))) {
        return false;
      }
    }
    return true;
  }

  // Times run forward from 0; values (amplitudes or frequency ratios) are
  // never negative.
  bool readEnvelope(Envelope& envelope, const std::string& name) {
    if (!takeCount("breakpoint count of the " + name, kEnvelopeCapacity, envelope.count)) {
      return false;
    }
    const auto count = static_cast<std::size_t>(envelope.count);
    if (!need(2 * kVoiceFieldBytes * count, name)) {
      return false;
    }
    return takeNumbers(envelope.times, count, "time ", name, true) &&
           takeNumbers(envelope.values, count, "value ", name, false);
  }

  // `count` float32 numbers, each finite and not negative and, when `rising`,
  // never below the one before; the room for them has been checked.
  bool takeNumbers(float* numbers, std::size_t count, const char* what, const std::string& name,
                   bool rising) {
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t at = position_;
      const std::uint32_t bits = takeBits();
      std::memcpy(&numbers[k], &bits, sizeof(float));
      const bool valid = std::isfinite(numbers[k]) && numbers[k] >= 0.0f;
      if (!valid || (rising && k > 0 && numbers[k] < numbers[k - 1])) {
        return fail(at, what + std::to_string(k + 1) + " of the " + name +
                            (valid ? " goes backwards" : " is not a non-negative number"));
      }
    }
    return true;
  }

  // Only empty lists have a defined encoding.
  bool readAuxList(AuxList& list, int slot) {
    const std::size_t at = position_;
    const std::string name = "aux list count in slot " + std::to_string(slot);
    if (!takeInt32(name, list.count)) {
      return false;
    }
    if (list.count != 0) {
      return fail(at,
                  name + " is " + std::to_string(list.count) + "; only empty lists are defined");
    }
    return true;
  }

  const unsigned char* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  VoiceReadError& error_;
};

}  // namespace

bool readVoice(const unsigned char* data, std::size_t size, Voice& voice, VoiceReadError& error) {
  if (data == nullptr) {
    size = 0;
    static const unsigned char kNothing = 0;
    data = &kNothing;
  }
  return VoiceParser(data, size, error).parse(voice);
}

std::string describeVoiceReadError(const VoiceReadError& error) {
  return error.problem + " (byte " + std::to_string(error.offset) + ")";
}
