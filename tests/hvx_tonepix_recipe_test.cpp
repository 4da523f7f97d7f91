// Voices made by tonepix's own conversion are traced back to a picture and
// options that make them again; anything else is refused.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hvx/picture/picture_prepare.h"
#include "hvx/studio/studio_conversion.h"
#include "hvx/studio/tonepix_recipe.h"
#include "hvx/voice/voice_file.h"
#include "image/bitmap_writer.h"
#include "test_support.h"
#include "voice/voice.h"
#include "voice/voice_reader.h"

namespace {

// A picture of `rows` rows whose cells run through every grey level, with
// black and white among them, or all black.
std::string pictureOf(int rows, bool black = false) {
  PreparedPicture picture;
  picture.rows = rows;
  picture.grid.resize(static_cast<std::size_t>(rows) * 64);
  for (std::size_t i = 0; i < picture.grid.size(); ++i) {
    picture.grid[i] = black ? 0 : static_cast<std::uint8_t>((i * 37 + i / 64 * 11) % 256);
  }
  return encodePreparedBitmap(picture);
}

// The options of a tonepix command line, as the studio holds them.
ToneOptions toneOf(const std::vector<std::pair<char, long long>>& wholes,
                   const std::string& interval = "0.3") {
  ToneOptions tone;
  for (const auto& [letter, value] : wholes) {
    tone.whole(letter) = value;
    if (letter == 'b') {
      tone.useTempo = true;
    }
  }
  tone.interval = interval;
  return tone;
}

std::string voiceOf(const std::string& bitmap, const ToneOptions& tone,
                    const std::string& name = "pad") {
  const ToneConversion made = convertLikeTonepix(bitmap, name, tone, 12345);
  EXPECT_TRUE(made.converted) << made.error;
  return made.voice;
}

// The voice file edited through its decoded form.
std::string edited(const std::string& file, const std::function<void(Voice&)>& edit) {
  auto voice = std::make_unique<Voice>();
  VoiceReadError error;
  EXPECT_TRUE(
      readVoice(reinterpret_cast<const unsigned char*>(file.data()), file.size(), *voice, error));
  edit(*voice);
  return encodeVoiceFile(*voice);
}

float nextUp(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  ++bits;
  std::memcpy(&value, &bits, sizeof bits);
  return value;
}

struct FoundCase {
  const char* what;
  int rows;  // negative: that many black rows
  ToneOptions tone;
  std::vector<std::string> options;  // the recipe's, defaults left out
};

}  // namespace

TEST(TonepixRecipe, VoicesOfExactRatiosAreMadeAgainFromTheRecipe) {
  const std::vector<FoundCase> cases = {
      {"defaults", 16, toneOf({{'f', 0}}), {"-f0"}},
      {"full ceiling", 16, toneOf({{'f', 0}, {'n', 100}}), {"-n100", "-f0"}},
      {"lowest ceiling", 16, toneOf({{'f', 0}, {'n', 1}}), {"-n1", "-f0"}},
      // A cut cell is a black one: no floor is needed.
      {"ceiling and floor", 16, toneOf({{'f', 0}, {'n', 37}, {'z', 10}}), {"-n37", "-f0"}},
      {"interval", 16, toneOf({{'f', 0}}, "0.5"), {"-i0.5", "-f0"}},
      // No tempo says it: every digit is needed.
      {"interval of seven digits", 5, toneOf({{'f', 0}}, "0.1234567"), {"-i0.1234567", "-f0"}},
      {"low interval", 5, toneOf({{'f', 0}}, "0.1"), {"-i0.1", "-f0"}},
      {"longest interval", 5, toneOf({{'f', 0}}, "8"), {"-i8", "-f0"}},
      {"tempo of a short interval", 16, toneOf({{'f', 0}, {'b', 120}}), {"-i0.5", "-f0"}},
      {"tempo", 16, toneOf({{'f', 0}, {'b', 90}}), {"-b90", "-f0"}},
      {"fastest tempo", 16, toneOf({{'f', 0}, {'b', 1000}}), {"-b1000", "-f0"}},
      {"harmonics", 16, toneOf({{'f', 0}, {'t', 20}}), {"-t20", "-f0"}},
      // A muted cell is a black one.
      {"muted cells", 16, toneOf({{'f', 0}, {'d', 30}}), {"-f0"}},
      {"one harmonic", 3, toneOf({{'f', 0}, {'t', 1}}), {"-t1", "-f0"}},
      {"one row", 1, toneOf({{'f', 0}}), {"-f0"}},
      {"two rows", 2, toneOf({{'f', 0}, {'n', 3}}), {"-n3", "-f0"}},
      {"127 rows", 127, toneOf({{'f', 0}}), {"-f0"}},
      // Silence fits every ceiling: the default is the one given.
      {"silence", -10, toneOf({{'f', 0}, {'n', 100}}), {"-f0"}},
      {"every heard row", 126, toneOf({{'f', 0}}), {"-f0"}},
      {"rows lost to the closing points", 128, toneOf({{'f', 0}}), {"-f0"}},
      {"plateau", 20, toneOf({{'f', 0}, {'p', 50}}), {"-p50", "-f0"}},
      {"full plateau", 1, toneOf({{'f', 0}, {'p', 100}, {'n', 90}}), {"-p100", "-n90", "-f0"}},
      {"tallest plateau picture",
       64,
       toneOf({{'f', 0}, {'p', 7}}, "1.25"),
       {"-i1.25", "-p7", "-f0"}},
  };
  for (const FoundCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string voice = voiceOf(pictureOf(c.rows < 0 ? -c.rows : c.rows, c.rows < 0), c.tone);
    TonepixRecipe recipe;
    ASSERT_TRUE(findTonepixRecipe(voice, "pad", recipe));
    EXPECT_EQ(recipe.options, c.options);
    const ToneConversion again = convertLikeTonepix(recipe.bitmap, "pad", recipe.tone, 777);
    EXPECT_TRUE(again.converted && again.voice == voice);
  }
}

TEST(TonepixRecipe, TonepixGivenTheOptionsWritesTheSameFile) {
  TempDir dir;
  const std::vector<ToneOptions> tones = {toneOf({{'f', 0}}), toneOf({{'f', 0}, {'b', 90}}),
                                          toneOf({{'f', 0}, {'n', 64}, {'p', 30}}, "0.7")};
  for (const ToneOptions& tone : tones) {
    const std::string voice = voiceOf(pictureOf(9), tone, "lead");
    TonepixRecipe recipe;
    ASSERT_TRUE(findTonepixRecipe(voice, "lead", recipe));
    ASSERT_TRUE(writeFileBytes(dir.file("lead.bmp"), recipe.bitmap));
    std::vector<std::string> args = recipe.options;
    args.push_back("lead.bmp");
    const RunResult run = runTonepix(args, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(readFileBytes(dir.file("lead.hvx")) == voice);
  }
}

TEST(TonepixRecipe, VoicesTonepixCannotBeShownToMakeAreRefused) {
  const std::string exact = voiceOf(pictureOf(16), toneOf({{'f', 0}}));
  const std::string plateau = voiceOf(pictureOf(16), toneOf({{'f', 0}, {'p', 40}}));
  const std::vector<std::pair<const char*, std::string>> refused = {
      {"detuned", voiceOf(pictureOf(16), ToneOptions())},
      {"random cells", voiceOf(pictureOf(16), toneOf({{'f', 0}, {'r', 10}}))},
      {"an amplitude one step up", edited(exact,
                                          [](Voice& v) {
                                            float& cell = v.sets[1].amplitudeEnvelopes[5].values[3];
                                            cell = nextUp(cell);
                                          })},
      {"a plateau step unlike its start", edited(plateau,
                                                 [](Voice& v) {
                                                   float& cell =
                                                       v.sets[1].amplitudeEnvelopes[5].values[7];
                                                   cell = nextUp(cell);
                                                 })},
      {"a moved loop", edited(exact, [](Voice& v) { v.loopStart = 6 * 0.3f; })},
      {"a loop end unlike its start",
       edited(exact, [](Voice& v) { v.sets[1].amplitudeEnvelopes[2].values[16] = 0.0f; })},
      {"a second set", edited(exact,
                              [](Voice& v) {
                                v.setsPerLayer = 2;
                                v.sets[0] = v.sets[1];
                              })},
      {"a ratio off its harmonic",
       edited(exact, [](Voice& v) { v.sets[1].frequencyEnvelopes[9].values[4] = 10.5f; })},
      {"a harmonic missing between others", edited(exact,
                                                   [](Voice& v) {
                                                     v.sets[1].amplitudeEnvelopes[30].count = 0;
                                                     v.sets[1].frequencyEnvelopes[30].count = 0;
                                                   })},
      {"truncated", exact.substr(0, exact.size() - 1)},
      {"garbage", "not a voice at all"},
      {"empty", ""},
  };
  for (const auto& [what, file] : refused) {
    SCOPED_TRACE(what);
    TonepixRecipe recipe;
    EXPECT_FALSE(findTonepixRecipe(file, "pad", recipe));
    EXPECT_TRUE(recipe.bitmap.empty());
  }
  // The stem is the voice's name: another one cannot make these bytes.
  TonepixRecipe recipe;
  EXPECT_FALSE(findTonepixRecipe(exact, "other", recipe));
  EXPECT_TRUE(findTonepixRecipe(exact, "pad", recipe));
}

TEST(TonepixRecipe, TheTallestVoicesTakeMilliseconds) {
  const std::string voice = voiceOf(pictureOf(126), toneOf({{'f', 0}, {'n', 100}}));
  // One cell no ceiling gives: every ceiling is tried.
  const std::string offLevel = edited(voice, [](Voice& v) {
    float& cell = v.sets[1].amplitudeEnvelopes[63].values[125];
    cell = nextUp(cell);
  });
  struct Timed {
    const char* what;
    const std::string* file;
    const char* name;
    bool found;
  };
  // Found, refused by the last comparison (another name), refused on a level.
  const Timed timed[] = {{"found_seconds", &voice, "pad", true},
                         {"compared_seconds", &voice, "other", false},
                         {"off_level_seconds", &offLevel, "pad", false}};
  for (const Timed& t : timed) {
    constexpr int kCalls = 20;
    TonepixRecipe recipe;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i) {
      EXPECT_EQ(findTonepixRecipe(*t.file, t.name, recipe), t.found);
    }
    const double each =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kCalls;
    RecordProperty(t.what, std::to_string(each));
    EXPECT_LT(each, 0.05) << t.what << ": " << each << " s a call";
  }
}
