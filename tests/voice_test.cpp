#include "voice/voice.h"

#include <gtest/gtest.h>

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
