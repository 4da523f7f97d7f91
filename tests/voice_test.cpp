#include "voice/voice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "test_support.h"
#include "voice/voice_reader.h"

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
// may leave it there until close(): read back, the file must hold every value
// of the record, with and without borrowing, with two sets and the small
// fields between them, and when one envelope is not full.
TEST(VoiceEncoding, FullSetsFromTheirOwnMemoryReadBackValueByValue) {
  TempDir dir;
  auto voice = std::make_unique<Voice>();
  auto back = std::make_unique<Voice>();
  resetVoice(*voice);
  voice->setsPerLayer = 2;  // slots 0 and 1, each with its aux count after it
  std::uint32_t state = 5;
  for (EnvelopeSet& set : voice->sets) {
    for (Envelope* envelopes : {set.amplitudeEnvelopes, set.frequencyEnvelopes}) {
      for (int h = 0; h < kVoiceHarmonics; ++h) {
        envelopes[h].count = kEnvelopeCapacity;
        for (int k = 0; k < kEnvelopeCapacity; ++k) {
          state = state * 1664525u + 1013904223u;
          envelopes[h].times[k] = 0.25f * static_cast<float>(k);
          envelopes[h].values[k] = static_cast<float>(state % 1000) * 0.001f;
        }
      }
    }
  }
  const std::string path = dir.file("v.hvx");
  for (const bool notFull : {false, true}) {
    voice->sets[1].frequencyEnvelopes[63].count = kEnvelopeCapacity - (notFull ? 1 : 0);
    for (const bool borrow : {false, true}) {
      SCOPED_TRACE(std::string(borrow ? "borrowed" : "copied") + (notFull ? ", not full" : ""));
      VoiceWriter writer;
      ASSERT_TRUE(writer.open(path.c_str()));
      if (borrow) {
        writer.borrowRecords();
      }
      ASSERT_TRUE(encodeVoice(*voice, writer));
      ASSERT_TRUE(writer.close());
      const std::string bytes = readFileBytes(path);
      VoiceReadError error;
      ASSERT_TRUE(readVoice(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                            *back, error))
          << error.problem;
      for (int slot = 0; slot < kVoiceSlots; ++slot) {
        const EnvelopeSet& set = voice->sets[slot];
        const EnvelopeSet& read = back->sets[slot];
        for (int h = 0; h < 2 * kVoiceHarmonics; ++h) {
          const Envelope& written = h < kVoiceHarmonics
                                        ? set.amplitudeEnvelopes[h]
                                        : set.frequencyEnvelopes[h - kVoiceHarmonics];
          const Envelope& got = h < kVoiceHarmonics ? read.amplitudeEnvelopes[h]
                                                    : read.frequencyEnvelopes[h - kVoiceHarmonics];
          const auto bytesUsed = 4 * static_cast<std::size_t>(written.count);
          ASSERT_EQ(got.count, written.count) << slot << " " << h;
          ASSERT_EQ(std::memcmp(got.times, written.times, bytesUsed), 0) << slot << " " << h;
          ASSERT_EQ(std::memcmp(got.values, written.values, bytesUsed), 0) << slot << " " << h;
        }
      }
    }
  }
}
