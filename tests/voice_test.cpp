#include "voice/voice.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "test_support.h"

namespace {

// Encodes `voice` through a real file and returns the file's bytes.
std::string encoded(const Voice& voice, const TempDir& dir, bool* ok) {
  const std::string path = dir.file("v.hvx");
  VoiceWriter writer;
  EXPECT_TRUE(writer.open(path.c_str()));
  *ok = encodeVoice(voice, writer);
  EXPECT_TRUE(writer.close());
  return readFileBytes(path);
}

}  // namespace

TEST(VoiceEncoding, LaysOutTheDocumentedBytes) {
  TempDir dir;
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  std::strcpy(voice->name, "pad");
  voice->loopEnd = 9.6f;
  Envelope& first = voice->sets[1].amplitudeEnvelopes[0];
  first.count = 3;
  first.times[2] = 0.6f;
  first.values[0] = 0.25f;
  voice->sets[0].amplitudeEnvelopes[0].count = 5;  // slot 0 is never encoded
  bool ok = false;
  std::string bytes = encoded(*voice, dir, &ok);
  ASSERT_EQ(bytes.size(), 576u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x03\x00\x01\x00pad\x00", 8));
  EXPECT_EQ(u32At(bytes, 16), bitsOf(9.6f));
  EXPECT_EQ(u32At(bytes, 20) + u32At(bytes, 24), 2u);  // one layer, one set
  EXPECT_EQ(u32At(bytes, 32), 0x43DC0000u);            // 440 Hz
  EXPECT_EQ(u32At(bytes, 36), 3u);
  EXPECT_EQ(u32At(bytes, 48), bitsOf(0.6f));   // times first,
  EXPECT_EQ(u32At(bytes, 52), bitsOf(0.25f));  // then values
  EXPECT_EQ(bytes.substr(64), std::string(576 - 64, '\0'));

  std::memset(voice->name, 'N', sizeof voice->name);  // full field, no terminator
  bytes = encoded(*voice, dir, &ok);
  EXPECT_EQ(bytes.substr(4, 66), std::string(64, 'N') + std::string(2, '\0'));

  voice->auxLists[1].count = 2;
  voice->auxLists[1].values[0] = 1.5f;
  bytes = encoded(*voice, dir, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(u32At(bytes, bytes.size() - 8), 2u);
  EXPECT_EQ(u32At(bytes, bytes.size() - 4), bitsOf(1.5f));
}

// A set of full envelopes is written straight from its memory, and the writer
// may leave it there until close(): the bytes must be those of the set
// encoded value by value, with and without borrowing, with two sets and the
// small fields between them, and when one envelope is not full.
TEST(VoiceEncoding, FullSetsFromTheirOwnMemoryAreTheValueByValueBytes) {
  TempDir dir;
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  std::strcpy(voice->name, "full");
  voice->setsPerLayer = 2;  // slots 0 and 1, each with its aux count after it
  std::uint32_t state = 5;
  for (EnvelopeSet& set : voice->sets) {
    for (Envelope* envelopes : {set.amplitudeEnvelopes, set.frequencyEnvelopes}) {
      for (int h = 0; h < kVoiceHarmonics; ++h) {
        envelopes[h].count = kEnvelopeCapacity;
        for (int k = 0; k < kEnvelopeCapacity; ++k) {
          state = state * 1664525u + 1013904223u;
          std::memcpy(&envelopes[h].times[k], &state, 4);
          envelopes[h].values[k] = static_cast<float>(state % 1000) * 0.001f;
        }
      }
    }
  }
  auto expected = [&voice]() {
    std::string bytes;
    auto put = [&bytes](const void* value) {
      std::uint32_t bits = 0;
      std::memcpy(&bits, value, 4);
      for (int b = 0; b < 4; ++b) {
        bytes.push_back(static_cast<char>((bits >> (8 * b)) & 0xFFu));
      }
    };
    const std::int32_t header[] = {0x00010003};
    put(header);
    bytes.append("full", 5);
    const void* const fields[] = {&voice->reserved0,  &voice->loopStart,    &voice->loopEnd,
                                  &voice->layerCount, &voice->setsPerLayer, &voice->reserved1};
    for (const void* field : fields) {
      put(field);
    }
    for (int slot = 0; slot < kVoiceSlots; ++slot) {
      const EnvelopeSet& set = voice->sets[slot];
      put(&set.baseFrequency);
      for (const Envelope* envelopes : {set.amplitudeEnvelopes, set.frequencyEnvelopes}) {
        for (int h = 0; h < kVoiceHarmonics; ++h) {
          put(&envelopes[h].count);
          for (int k = 0; k < envelopes[h].count; ++k) {
            put(&envelopes[h].times[k]);
          }
          for (int k = 0; k < envelopes[h].count; ++k) {
            put(&envelopes[h].values[k]);
          }
        }
      }
      put(&voice->auxLists[slot].count);
    }
    return bytes;
  };
  const std::string path = dir.file("v.hvx");
  for (const bool notFull : {false, true}) {
    voice->sets[1].frequencyEnvelopes[63].count =
        notFull ? kEnvelopeCapacity - 1 : kEnvelopeCapacity;
    for (const bool borrow : {false, true}) {
      VoiceWriter writer;
      ASSERT_TRUE(writer.open(path.c_str()));
      if (borrow) {
        writer.borrowRecords();
      }
      ASSERT_TRUE(encodeVoice(*voice, writer));
      ASSERT_TRUE(writer.close());
      EXPECT_EQ(readFileBytes(path), expected())
          << "borrowed " << borrow << ", not full " << notFull;
    }
  }
}
