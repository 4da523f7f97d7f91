// The voice reader against the writer: what tonepix writes reads back to the
// matrices it came from, and damaged files give one clean error.
#include "voice/voice_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "common/random_source.h"
#include "image/bitmap_writer.h"
#include "test_support.h"
#include "voice/voice_layout.h"
#include "voice/voice_writer.h"

namespace {

bool read(const std::string& bytes, Voice& voice, VoiceReadError& error) {
  return readVoice(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), voice,
                   error);
}

std::vector<std::uint8_t> noise(int rows, std::uint32_t seed) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(rows) * 64);
  for (std::uint8_t& pixel : pixels) {
    seed = seed * 1664525u + 1013904223u;
    pixel = static_cast<std::uint8_t>(seed >> 24);
  }
  return pixels;
}

// Converts a picture of noise in this process and checks that the file reads
// back to the converter's own matrices, loop and name.
void expectRoundTrip(int rows, int harmonics, int plateauPercent) {
  SCOPED_TRACE("rows " + std::to_string(rows) + ", -t" + std::to_string(harmonics) + ", -p" +
               std::to_string(plateauPercent));
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("n.bmp"),
                             makeBitmap(64, rows, noise(rows, static_cast<std::uint32_t>(rows)))));
  auto converter = std::make_unique<Converter>();
  std::FILE* devNull = std::fopen("/dev/null", "w");
  converter->log = devNull;
  converter->summary = devNull;
  converter->harmonicCount = harmonics;
  converter->plateauPercent = plateauPercent;
  RandomSource::seed(static_cast<std::uint32_t>(rows));
  ASSERT_EQ(converter->convertFile(dir.file("n.bmp").c_str()), 0);
  std::fclose(devNull);

  auto voice = std::make_unique<Voice>();
  VoiceReadError error;
  ASSERT_TRUE(read(readFileBytes(dir.file("n.hvx")), *voice, error)) << error.problem;
  EXPECT_STREQ(voice->name, "n");
  EXPECT_EQ(voice->loopStart, converter->loopStart);
  EXPECT_EQ(voice->loopEnd, converter->loopEnd);
  const int perPoint = plateauPercent != 0 ? 2 : 1;
  const EnvelopeSet& set = voice->sets[1];
  for (int h = 0; h < 64; ++h) {
    const Envelope& amplitude = set.amplitudeEnvelopes[h];
    const Envelope& ratio = set.frequencyEnvelopes[h];
    ASSERT_EQ(amplitude.count, h < harmonics ? converter->pointCount * perPoint : 0);
    ASSERT_EQ(ratio.count, amplitude.count);
    for (int k = 0; k < amplitude.count; ++k) {
      const int p = k / perPoint;
      ASSERT_EQ(amplitude.values[k], converter->amplitude[p][h]) << "h " << h << " k " << k;
      ASSERT_EQ(ratio.values[k], converter->ratio[p][h]) << "h " << h << " k " << k;
      ASSERT_EQ(amplitude.times[k], ratio.times[k]);
    }
  }
}

// A small voice of tonepix's: 4 harmonics, 3 rows of noise, named "v".
std::string smallVoice() {
  TempDir dir;
  EXPECT_TRUE(writeFileBytes(dir.file("v.bmp"), makeBitmap(64, 3, noise(3, 9))));
  const RunResult run = runTonepix({"-t4", "v.bmp"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  return readFileBytes(dir.file("v.hvx"));
}

}  // namespace

TEST(VoiceReader, ReadsBackEveryVoiceTonepixWrites) {
  for (int rows = 1; rows <= 128; ++rows) {
    expectRoundTrip(rows, 64, 0);
  }
  for (int rows = 1; rows <= 64; rows += 7) {
    expectRoundTrip(rows, 64, 50);
    expectRoundTrip(rows, 1 + rows % 64, 100);
  }
  expectRoundTrip(128, 13, 0);
}

// One Converter assembles every voice of a run in the same record; a voice
// must not depend on the ones before it, whatever settings change between
// them (as they do when a program drives the Converter itself).
TEST(VoiceReader, AVoiceDoesNotDependOnTheVoicesBeforeIt) {
  struct Settings {
    int rows;
    int harmonics;
    float interval;
    int plateauPercent;
  };
  const Settings sequence[] = {{128, 64, 0.3f, 0},  {20, 64, 0.3f, 0},   {20, 64, 0.25f, 0},
                               {20, 64, 0.25f, 50}, {20, 64, 0.25f, 20}, {40, 10, 0.25f, 20},
                               {30, 64, 0.25f, 20}, {60, 64, 0.25f, 20}, {126, 64, 0.3f, 0},
                               {3, 64, 0.3f, 0}};
  TempDir dir;
  std::FILE* devNull = std::fopen("/dev/null", "w");
  auto runConverter = std::make_unique<Converter>();
  runConverter->log = devNull;
  runConverter->summary = devNull;
  std::uint32_t seed = 1;
  for (const Settings& settings : sequence) {
    SCOPED_TRACE("rows " + std::to_string(settings.rows) + ", -t" +
                 std::to_string(settings.harmonics) + ", -p" +
                 std::to_string(settings.plateauPercent));
    ASSERT_TRUE(writeFileBytes(dir.file("n.bmp"),
                               makeBitmap(64, settings.rows, noise(settings.rows, ++seed))));
    auto fresh = std::make_unique<Converter>();
    fresh->log = devNull;
    fresh->summary = devNull;
    for (Converter* converter : {runConverter.get(), fresh.get()}) {
      converter->harmonicCount = settings.harmonics;
      converter->interval = settings.interval;
      converter->plateauPercent = settings.plateauPercent;
    }
    RandomSource::seed(seed);
    ASSERT_EQ(runConverter->convertFile(dir.file("n.bmp").c_str()), 0);
    const std::string inRun = readFileBytes(dir.file("n.hvx"));
    RandomSource::seed(seed);
    ASSERT_EQ(fresh->convertFile(dir.file("n.bmp").c_str()), 0);
    ASSERT_EQ(inRun, readFileBytes(dir.file("n.hvx")));
  }
  std::fclose(devNull);
}

TEST(VoiceReader, ReadsEveryLayoutTheWriterProduces) {
  TempDir dir;
  auto written = std::make_unique<Voice>();
  auto back = std::make_unique<Voice>();
  for (int layers = 0; layers <= kMaxLayers; ++layers) {
    for (int sets = 0; sets <= kMaxSetsPerLayer; ++sets) {
      resetVoice(*written);
      std::memset(written->name, 'N', sizeof written->name);  // full field, no terminator
      written->layerCount = layers;
      written->setsPerLayer = sets;
      for (int slot = 0; slot < kVoiceSlots; ++slot) {
        written->sets[slot].baseFrequency = 100.0f * static_cast<float>(slot + 1);
        Envelope& envelope = written->sets[slot].frequencyEnvelopes[slot + 5];
        envelope.count = 2;
        envelope.times[1] = 0.5f;
        envelope.values[0] = 1.5f + static_cast<float>(slot);
      }
      VoiceWriter writer;
      ASSERT_TRUE(writer.open(dir.file("l.hvx").c_str()));
      ASSERT_TRUE(encodeVoice(*written, writer));
      ASSERT_TRUE(writer.close());
      VoiceReadError error;
      ASSERT_TRUE(read(readFileBytes(dir.file("l.hvx")), *back, error)) << error.problem;
      EXPECT_EQ(std::string(back->name, 64), std::string(64, 'N'));
      int slots[kVoiceSlots];
      const int used = slotsInUse(*back, slots);
      EXPECT_EQ(used, layers * (sets == 1 ? 1 : sets));
      for (int i = 0; i < used; ++i) {
        const EnvelopeSet& set = back->sets[slots[i]];
        EXPECT_EQ(set.baseFrequency, written->sets[slots[i]].baseFrequency);
        EXPECT_EQ(std::memcmp(&set.frequencyEnvelopes[slots[i] + 5],
                              &written->sets[slots[i]].frequencyEnvelopes[slots[i] + 5],
                              sizeof(Envelope)),
                  0);
      }
    }
  }
}

TEST(VoiceReader, EveryTruncationGivesOneCleanError) {
  const std::string bytes = smallVoice();
  auto voice = std::make_unique<Voice>();
  VoiceReadError error;
  ASSERT_TRUE(read(bytes, *voice, error)) << error.problem;
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    error = VoiceReadError{};
    ASSERT_FALSE(read(bytes.substr(0, size), *voice, error)) << size;
    EXPECT_EQ(error.problem.rfind("file ends inside the ", 0), 0u) << size << ": " << error.problem;
    EXPECT_LE(error.offset, size);
    EXPECT_EQ(error.problem.find('\n'), std::string::npos);
  }
  EXPECT_FALSE(readVoice(nullptr, 0, *voice, error));
}
