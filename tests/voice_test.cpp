#include "voice/voice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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

// Offset of the first amplitude envelope in a file of a voice so named.
std::size_t firstEnvelope(const std::string& name) { return 4 + name.size() + 1 + 24 + 4; }

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

TEST(VoiceWriter, WritesOnlyAtClose) {
  TempDir dir;
  const std::string path = dir.file("w.hvx");
  VoiceWriter writer;
  ASSERT_TRUE(writer.open(path.c_str()));
  EXPECT_TRUE(writer.close());
  EXPECT_TRUE(std::filesystem::exists(path) && readFileBytes(path).empty());
  ASSERT_TRUE(writer.open(path.c_str()));
  writer.putInt32(-2);
  writer.putString("hi");
  EXPECT_EQ(readFileBytes(path), "");  // nothing before close
  EXPECT_TRUE(writer.close());
  EXPECT_EQ(readFileBytes(path), std::string("\xFE\xFF\xFF\xFFhi\x00", 7));
}

TEST(VoiceConstruction, ConvertsTheSamplePadPictureExactly) {
  TempDir dir;
  writePicture(dir.file("pad.bmp"), 32, 255);
  RunResult run = runTonepix({"-f0", "pad.bmp"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "34 = 9 .. 32 : 2.700000 .. 9.600000\n");
  EXPECT_EQ(run.err, "");
  const std::string bytes = readFileBytes(dir.file("pad.hvx"));
  ASSERT_EQ(bytes.size(), 35368u);
  const unsigned char head[40] = {0x03, 0x00, 0x01, 0x00, 0x70, 0x61, 0x64, 0x00, 0x00, 0x00,
                                  0x00, 0x00, 0xCD, 0xCC, 0x2C, 0x40, 0x9A, 0x99, 0x19, 0x41,
                                  0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0x00, 0x00, 0x00, 0x00, 0xDC, 0x43, 0x22, 0x00, 0x00, 0x00};
  EXPECT_EQ(bytes.substr(0, 40), std::string(reinterpret_cast<const char*>(head), 40));
  // Harmonic 2: last time 33 x 0.3, values 0.39999998 and a silent release;
  // its frequency envelope is exactly 2 throughout.
  const std::size_t second = firstEnvelope("pad") + 4 + 8 * 34;
  EXPECT_EQ(u32At(bytes, second + 4 + 4 * 33), bitsOf(static_cast<float>(33 * double{0.3f})));
  EXPECT_EQ(u32At(bytes, second + 4 + 4 * 34), 0x3ECCCCCCu);
  EXPECT_EQ(u32At(bytes, second + 4 + 4 * 67), 0u);
  EXPECT_EQ(u32At(bytes, firstEnvelope("pad") + 65 * (4 + 8 * 34) + 4 + 4 * 67), bitsOf(2.0f));

  runTonepix({"-f0", "-d0", "-r0", "pad.bmp"}, dir.path());
  EXPECT_EQ(readFileBytes(dir.file("pad.hvx")), bytes);
}

TEST(VoiceConstruction, PlateausAndHarmonicCountShapeTheEnvelopes) {
  TempDir dir;
  writePicture(dir.file("p.bmp"), 8, 100);
  const std::size_t at = firstEnvelope("p");
  runTonepix({"-f0", "-p50", "p.bmp"}, dir.path());
  std::string bytes = readFileBytes(dir.file("p.hvx"));
  ASSERT_EQ(u32At(bytes, at), 20u);
  EXPECT_EQ(u32At(bytes, at + 8), bitsOf(static_cast<float>(50 * double{0.3f} * double{0.01f})));
  EXPECT_EQ(u32At(bytes, at + 84), u32At(bytes, at + 88));  // values in equal pairs

  runTonepix({"-f0", "-p100", "-b14", "p.bmp"}, dir.path());
  bytes = readFileBytes(dir.file("p.hvx"));
  EXPECT_EQ(u32At(bytes, at + 4 + 4 * 13), 0x41EFFFFFu);  // point 6, second breakpoint
  EXPECT_EQ(u32At(bytes, at + 4 + 4 * 14), 0x41F00000u);  // point 7 at 30 s

  runTonepix({"-t1", "p.bmp"}, dir.path());
  bytes = readFileBytes(dir.file("p.hvx"));
  const std::size_t envelope = 4 + 8 * 10;
  ASSERT_EQ(bytes.size(), at + 2 * envelope + 126 * 4 + 4);
  EXPECT_EQ(bytes.substr(at + envelope, 63 * 4), std::string(63 * 4, '\0'));
}

TEST(VoiceConstruction, SettingsCarryOverAcrossPicturesOfOneRun) {
  TempDir dir;
  const std::string longName(70, 'L');
  writePicture(dir.file("a.bmp"), 4, 30);
  writePicture(dir.file("b.bmp"), 9, 60);
  writePicture(dir.file(longName + ".bmp"), 2, 90);
  runTonepix({"-f0", "-t3", "b.bmp"}, dir.path());
  const std::string alone = readFileBytes(dir.file("b.hvx"));
  const RunResult run = runTonepix({"-f0", "-t3", "a.bmp", "b.bmp", longName + ".bmp"}, dir.path());
  EXPECT_EQ(run.out,
            "6 = 2 .. 4 : 0.600000 .. 1.200000\n11 = 3 .. 9 : 0.900000 .. 2.700000\n"
            "4 = 1 .. 2 : 0.300000 .. 0.600000\n");
  EXPECT_EQ(readFileBytes(dir.file("b.hvx")), alone);
  const std::string named = readFileBytes(dir.file(longName + ".hvx"));
  EXPECT_EQ(named.substr(4, 65), longName.substr(0, 64) + std::string(1, '\0'));
  EXPECT_EQ(u32At(named, firstEnvelope(longName.substr(0, 64)) + 3 * (4 + 8 * 4)), 0u);  // -t3
}
