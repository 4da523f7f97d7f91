#include "voice/voice.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "test_support.h"

namespace {

std::unique_ptr<Voice> newVoice(const char* name) {
  auto voice = std::make_unique<Voice>();
  resetVoice(*voice);
  std::memset(voice->name, 0, sizeof voice->name);
  std::memcpy(voice->name, name, std::min<std::size_t>(std::strlen(name), sizeof voice->name));
  return voice;
}

// Encodes `voice` into a file in `dir` and returns its bytes, with the
// encoder's result in `ok`.
std::string encoded(const Voice& voice, const TempDir& dir, bool* ok = nullptr) {
  const std::string path = dir.file("v.hvx");
  VoiceWriter writer;
  EXPECT_TRUE(writer.open(path.c_str()));
  const bool result = encodeVoice(voice, writer);
  if (ok != nullptr) {
    *ok = result;
  }
  EXPECT_TRUE(writer.close());
  return readFileBytes(path);
}

// Offset of the first amplitude envelope in a converter-made file.
std::size_t firstEnvelope(const std::string& name) { return 4 + name.size() + 1 + 24 + 4; }

}  // namespace

TEST(VoiceEncoding, LaysOutTheDocumentedBytes) {
  TempDir dir;
  auto voice = newVoice("pad");
  voice->loopStart = 2.7f;
  voice->loopEnd = 9.6f;
  Envelope& first = voice->sets[1].amplitudeEnvelopes[0];
  first.count = 3;
  for (int k = 0; k < 3; ++k) {
    first.times[k] = 0.3f * static_cast<float>(k);
    first.values[k] = 0.25f + static_cast<float>(k);
  }
  voice->sets[0].amplitudeEnvelopes[0].count = 5;  // slot 0 is never encoded
  const std::string bytes = encoded(*voice, dir);
  ASSERT_EQ(bytes.size(), 576u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x03\x00\x01\x00pad\x00", 8));
  EXPECT_EQ(u32At(bytes, 8), 0u);
  EXPECT_EQ(u32At(bytes, 12), bitsOf(2.7f));
  EXPECT_EQ(u32At(bytes, 16), bitsOf(9.6f));
  EXPECT_EQ(u32At(bytes, 20), 1u);
  EXPECT_EQ(u32At(bytes, 24), 1u);
  EXPECT_EQ(u32At(bytes, 28), 0u);
  EXPECT_EQ(u32At(bytes, 32), 0x43DC0000u);
  EXPECT_EQ(u32At(bytes, 36), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(f32At(bytes, 40 + 4 * k), first.times[k]);   // times first,
    EXPECT_EQ(f32At(bytes, 52 + 4 * k), first.values[k]);  // then values
  }
  EXPECT_EQ(bytes.substr(64), std::string(576 - 64, '\0'));  // empty envelopes, aux count
}

TEST(VoiceEncoding, StoresTheNameUpToItsFieldThenOneZero) {
  TempDir dir;
  const std::string full(64, 'N');
  std::string bytes = encoded(*newVoice((full + "overflow").c_str()), dir);
  EXPECT_EQ(bytes.substr(4, 65), full + std::string(1, '\0'));
  EXPECT_EQ(u32At(bytes, 69), 0u);
  bytes = encoded(*newVoice("ab"), dir);
  EXPECT_EQ(bytes.substr(4, 3), std::string("ab\0", 3));
  EXPECT_EQ(bytes.size(), 4 + 3 + 24 + 4 + 128 * 4 + 4u);
}

TEST(VoiceEncoding, AuxListWithEntriesStopsTheEncoding) {
  TempDir dir;
  auto voice = newVoice("x");
  voice->auxLists[1].count = 2;
  voice->auxLists[1].values[0] = 1.5f;
  bool ok = true;
  const std::string bytes = encoded(*voice, dir, &ok);
  EXPECT_FALSE(ok);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(u32At(bytes, bytes.size() - 8), 2u);
  EXPECT_EQ(f32At(bytes, bytes.size() - 4), 1.5f);

  // Two sets per layer encode slots 0 and 1; a second layer has no slots.
  voice->auxLists[1].count = 0;
  voice->setsPerLayer = 2;
  EXPECT_EQ(encoded(*voice, dir, &ok).size(), 4 + 2 + 24 + 2 * (4 + 128 * 4 + 4u));
  EXPECT_TRUE(ok);
  voice->layerCount = 2;
  encoded(*voice, dir, &ok);
  EXPECT_FALSE(ok);
}

TEST(VoiceWriter, WritesOnlyAtCloseAndReportsIncompleteWrites) {
  TempDir dir;
  const std::string path = dir.file("empty.hvx");
  {
    VoiceWriter writer;
    ASSERT_TRUE(writer.open(path.c_str()));
    EXPECT_TRUE(writer.close());
    EXPECT_TRUE(fileExists(path));
    EXPECT_EQ(readFileBytes(path), "");
  }
  {
    VoiceWriter writer;
    ASSERT_TRUE(writer.open(path.c_str()));
    writer.putInt32(-2);
    writer.putFloat32(440.0f);
    writer.putString("hi");
    EXPECT_EQ(readFileBytes(path), "");  // nothing before close
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readFileBytes(path), std::string("\xFE\xFF\xFF\xFF\x00\x00\xDC\x43hi\x00", 11));
  }
  {
    VoiceWriter writer;
    EXPECT_FALSE(writer.open(dir.file("missing/x.hvx").c_str()));
    writer.release();
  }
  {
    const std::string full = dir.file("full.hvx");
    ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
    VoiceWriter writer;
    ASSERT_TRUE(writer.open(full.c_str()));
    for (int i = 0; i < 1000; ++i) {
      writer.putInt32(i);
    }
    EXPECT_FALSE(writer.close());
  }
}

TEST(VoiceConstruction, ConvertsTheSamplePadPictureExactly) {
  TempDir dir;
  writePicture(dir.file("pad.bmp"), 32, uniformPixels(32, 255));
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
  // Harmonic 2's amplitude envelope: times p x 0.3, values 0.39999998, the
  // silent release last.
  const std::size_t second = firstEnvelope("pad") + 4 + 8 * 34;
  EXPECT_EQ(u32At(bytes, second), 34u);
  EXPECT_EQ(f32At(bytes, second + 4 + 4 * 33), static_cast<float>(33 * static_cast<double>(0.3f)));
  EXPECT_EQ(u32At(bytes, second + 4 + 4 * 34), 0x3ECCCCCCu);
  EXPECT_EQ(f32At(bytes, second + 4 + 4 * 34 + 4 * 33), 0.0f);
  // Harmonic 2's frequency envelope: exactly 2 throughout.
  const std::size_t frequency = firstEnvelope("pad") + 65 * (4 + 8 * 34);
  EXPECT_EQ(f32At(bytes, frequency + 4 + 4 * 34), 2.0f);
  EXPECT_EQ(f32At(bytes, frequency + 4 + 4 * 67), 2.0f);

  // The same picture converted again gives the same bytes.
  run = runTonepix({"-f0", "-d0", "-r0", "pad.bmp"}, dir.path());
  EXPECT_EQ(readFileBytes(dir.file("pad.hvx")), bytes);
}

TEST(VoiceConstruction, PlateausDoubleTheBreakpoints) {
  TempDir dir;
  writePicture(dir.file("p.bmp"), 8, uniformPixels(8, 100));
  runTonepix({"-f0", "-p50", "p.bmp"}, dir.path());
  std::string bytes = readFileBytes(dir.file("p.hvx"));
  std::size_t at = firstEnvelope("p");
  ASSERT_EQ(u32At(bytes, at), 20u);
  EXPECT_EQ(f32At(bytes, at + 4 + 4),
            static_cast<float>(50 * static_cast<double>(0.3f) * static_cast<double>(0.01f)));
  EXPECT_EQ(f32At(bytes, at + 4 + 8), 0.3f);
  EXPECT_EQ(u32At(bytes, at + 4 + 80), u32At(bytes, at + 4 + 80 + 4));  // equal pairs

  runTonepix({"-f0", "-p100", "-b14", "p.bmp"}, dir.path());
  bytes = readFileBytes(dir.file("p.hvx"));
  EXPECT_EQ(u32At(bytes, at + 4 + 4 * 13), 0x41EFFFFFu);  // point 6, second breakpoint
  EXPECT_EQ(u32At(bytes, at + 4 + 4 * 14), 0x41F00000u);  // point 7 at 30 s
}

TEST(VoiceConstruction, OnlyTheUsedHarmonicsGetEnvelopes) {
  TempDir dir;
  writePicture(dir.file("t.bmp"), 4, uniformPixels(4, 100));
  runTonepix({"-t1", "t.bmp"}, dir.path());
  const std::string bytes = readFileBytes(dir.file("t.hvx"));
  const std::size_t envelope = 4 + 8 * 6;
  ASSERT_EQ(bytes.size(), firstEnvelope("t") + 2 * envelope + 126 * 4 + 4);
  EXPECT_EQ(bytes.substr(firstEnvelope("t") + envelope, 63 * 4), std::string(63 * 4, '\0'));
  EXPECT_EQ(u32At(bytes, firstEnvelope("t") + envelope + 63 * 4), 6u);
}

TEST(VoiceConstruction, SettingsCarryOverAcrossPicturesOfOneRun) {
  TempDir dir;
  writePicture(dir.file("a.bmp"), 4, uniformPixels(4, 30));
  writePicture(dir.file("b.bmp"), 9, uniformPixels(9, 60));
  const std::string longName(70, 'L');
  writePicture(dir.file(longName + ".bmp"), 2, uniformPixels(2, 90));
  RunResult run = runTonepix({"-f0", "-t3", "-n100", "b.bmp"}, dir.path());
  const std::string alone = readFileBytes(dir.file("b.hvx"));
  run = runTonepix({"-f0", "-t3", "-n100", "a.bmp", "b.bmp", longName + ".bmp"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "6 = 2 .. 4 : 0.600000 .. 1.200000\n"
            "11 = 3 .. 9 : 0.900000 .. 2.700000\n"
            "4 = 1 .. 2 : 0.300000 .. 0.600000\n");
  EXPECT_EQ(readFileBytes(dir.file("b.hvx")), alone);
  const std::string named = readFileBytes(dir.file(longName + ".hvx"));
  EXPECT_EQ(named.substr(4, 65), longName.substr(0, 64) + std::string(1, '\0'));
  EXPECT_EQ(u32At(named, firstEnvelope(longName.substr(0, 64)) + 3 * (4 + 8 * 4)), 0u);
}
