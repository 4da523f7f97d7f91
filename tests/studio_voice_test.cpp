// An opened voice's grid and its edits: what the page draws is the voice's
// own points, and an edit changes nothing the grid does not show.
#include "hvx/studio/studio_voice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "hvx/studio/studio_conversion.h"
#include "hvx/studio/studio_session.h"
#include "hvx/voice/voice_file.h"
#include "image/bitmap_writer.h"
#include "voice/voice_reader.h"

namespace {

constexpr int kRows = 12;  // picture rows; the voice has two more points

// A tonepix voice of a picture whose cell (row p, harmonic h) is p * 7 + h.
std::unique_ptr<Voice> tonepixVoice(ToneOptions options) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kRows) * 64);
  for (int p = 0; p < kRows; ++p) {
    for (int h = 0; h < 64; ++h) {
      // The bitmap's first row in the file is its bottom row: point 0.
      pixels[static_cast<std::size_t>(p * 64 + h)] = static_cast<std::uint8_t>(p * 7 + h);
    }
  }
  const ToneConversion made =
      convertLikeTonepix(makeBitmap(64, kRows, pixels), "cells", options, 5);
  EXPECT_TRUE(made.converted) << made.error;
  auto voice = std::make_unique<Voice>();
  VoiceReadError error;
  EXPECT_TRUE(readVoice(reinterpret_cast<const unsigned char*>(made.voice.data()),
                        made.voice.size(), *voice, error))
      << error.problem;
  return voice;
}

ToneOptions fullScale() {
  ToneOptions options;
  options.whole('n') = 100;  // a level is then the picture's own
  options.whole('f') = 0;
  return options;
}

std::uint8_t cell(const VoiceGrid& grid, int row, int column) {
  return grid.levels[static_cast<std::size_t>(row * grid.columns + column)];
}

bool sameEnvelope(const Envelope& a, const Envelope& b) {
  return a.count == b.count &&
         std::memcmp(a.times, b.times, sizeof(float) * static_cast<std::size_t>(a.count)) == 0 &&
         std::memcmp(a.values, b.values, sizeof(float) * static_cast<std::size_t>(a.count)) == 0;
}

}  // namespace

TEST(OpenedVoice, GridIsThePictureTonepixReadWithItsClosingPointsAndLoop) {
  const auto voice = tonepixVoice(fullScale());
  VoiceGrid grid;
  std::string error;
  ASSERT_TRUE(voiceGridOf(*voice, grid, error)) << error;
  ASSERT_EQ(grid.rows, kRows + 2);
  ASSERT_EQ(grid.columns, 64);
  for (int p = 0; p < kRows; ++p) {
    for (int h = 0; h < 64; ++h) {
      ASSERT_EQ(cell(grid, p, h), p * 7 + h) << "point " << p << ", harmonic " << h + 1;
    }
  }
  const int loopRow = kRows / 4 + 1;
  EXPECT_EQ(grid.loopStartRow, loopRow);
  EXPECT_EQ(grid.loopEndRow, kRows);
  EXPECT_EQ(cell(grid, kRows, 9), cell(grid, loopRow, 9));  // the loop's end repeats its start
  EXPECT_EQ(cell(grid, kRows + 1, 9), 0);                   // the release falls silent
  ASSERT_EQ(grid.times.size(), static_cast<std::size_t>(kRows + 2));
  EXPECT_FLOAT_EQ(grid.times[1], 0.3f);
}

TEST(OpenedVoice, AnEditChangesOnlyTheCellsDrawnAndKeepsEverythingElse) {
  ToneOptions options;
  options.whole('f') = 40;  // frequency envelopes the grid cannot show
  const auto voice = tonepixVoice(options);
  VoiceGrid grid;
  std::string error;
  ASSERT_TRUE(voiceGridOf(*voice, grid, error));
  VoiceEdit edit;
  edit.levels = grid.levels;
  auto same = std::make_unique<Voice>();
  ASSERT_TRUE(applyVoiceEdit(*voice, grid, edit, *same, error)) << error;
  EXPECT_EQ(std::memcmp(same.get(), voice.get(), sizeof(Voice)), 0)
      << "a grid drawn back as it was";

  edit.levels[static_cast<std::size_t>(3 * 64 + 5)] = 200;
  edit.levels[static_cast<std::size_t>((kRows + 1) * 64)] = 1;  // the release point is a point too
  auto edited = std::make_unique<Voice>();
  ASSERT_TRUE(applyVoiceEdit(*voice, grid, edit, *edited, error)) << error;
  const EnvelopeSet& before = voice->sets[1];
  const EnvelopeSet& after = edited->sets[1];
  EXPECT_EQ(after.amplitudeEnvelopes[5].values[3], static_cast<float>(200.0 / 255.0));
  EXPECT_EQ(after.amplitudeEnvelopes[0].values[kRows + 1], static_cast<float>(1.0 / 255.0));
  for (int h = 0; h < 64; ++h) {
    EXPECT_TRUE(sameEnvelope(after.frequencyEnvelopes[h], before.frequencyEnvelopes[h])) << h;
    Envelope expected = before.amplitudeEnvelopes[h];
    expected.values[3] = after.amplitudeEnvelopes[h].values[3];
    expected.values[kRows + 1] = after.amplitudeEnvelopes[h].values[kRows + 1];
    EXPECT_TRUE(sameEnvelope(after.amplitudeEnvelopes[h], expected)) << h;
    if (h != 5) {
      EXPECT_EQ(after.amplitudeEnvelopes[h].values[3], before.amplitudeEnvelopes[h].values[3]);
    }
  }
  EXPECT_EQ(edited->loopStart, voice->loopStart);
  EXPECT_EQ(edited->loopEnd, voice->loopEnd);
  EXPECT_EQ(std::memcmp(edited->name, voice->name, sizeof voice->name), 0);
  VoiceGrid shown;
  ASSERT_TRUE(voiceGridOf(*edited, shown, error));
  EXPECT_EQ(shown.levels, edit.levels) << "the edited voice draws as the grid sent";
}

TEST(OpenedVoice, TheLoopMovesToTheTimesOfTheRowsPicked) {
  const auto voice = tonepixVoice(fullScale());
  VoiceGrid grid;
  std::string error;
  ASSERT_TRUE(voiceGridOf(*voice, grid, error));
  VoiceEdit edit;
  edit.loopStartRow = 2;
  edit.loopEndRow = 7;
  auto edited = std::make_unique<Voice>();
  ASSERT_TRUE(applyVoiceEdit(*voice, grid, edit, *edited, error)) << error;
  EXPECT_EQ(edited->loopStart, grid.times[2]);
  EXPECT_EQ(edited->loopEnd, grid.times[7]);
  EXPECT_EQ(std::memcmp(edited->sets, voice->sets, sizeof voice->sets), 0);
  // Only the end moved: the start stays where it was.
  edit.loopStartRow = -1;
  edit.loopEndRow = kRows - 1;
  ASSERT_TRUE(applyVoiceEdit(*voice, grid, edit, *edited, error)) << error;
  EXPECT_EQ(edited->loopStart, voice->loopStart);
  EXPECT_EQ(edited->loopEnd, grid.times[kRows - 1]);
  for (const auto& [start, end] :
       {std::pair<int, int>{5, 5}, {6, 5}, {0, kRows + 2}, {grid.loopEndRow + 1, -1}}) {
    edit.loopStartRow = start;
    edit.loopEndRow = end;
    error.clear();
    EXPECT_FALSE(applyVoiceEdit(*voice, grid, edit, *edited, error)) << start << ".." << end;
    EXPECT_NE(error.find("loop"), std::string::npos) << error;
  }
  // A start between rows has no row to keep when only the end moves.
  auto between = std::make_unique<Voice>(*voice);
  between->loopStart = (grid.times[2] + grid.times[3]) / 2;
  VoiceGrid betweenGrid;
  ASSERT_TRUE(voiceGridOf(*between, betweenGrid, error));
  ASSERT_EQ(betweenGrid.loopStartRow, -1);
  edit.loopStartRow = -1;
  edit.loopEndRow = 9;
  EXPECT_FALSE(applyVoiceEdit(*between, betweenGrid, edit, *edited, error));
  edit = VoiceEdit{};
  edit.levels.assign(grid.levels.size() - 64, 0);  // a row short: another voice
  EXPECT_FALSE(applyVoiceEdit(*voice, grid, edit, *edited, error));
}

TEST(OpenedVoice, AHarmonicWithoutPointsDrawnOnTakesTheCommonTimes) {
  ToneOptions options = fullScale();
  options.whole('t') = 8;  // harmonics 9.. have no breakpoints
  const auto voice = tonepixVoice(options);
  VoiceGrid grid;
  std::string error;
  ASSERT_TRUE(voiceGridOf(*voice, grid, error));
  ASSERT_EQ(voice->sets[1].amplitudeEnvelopes[20].count, 0);
  VoiceEdit edit;
  edit.levels = grid.levels;
  edit.levels[static_cast<std::size_t>(4 * 64 + 20)] = 255;
  auto edited = std::make_unique<Voice>();
  ASSERT_TRUE(applyVoiceEdit(*voice, grid, edit, *edited, error)) << error;
  const Envelope& drawn = edited->sets[1].amplitudeEnvelopes[20];
  ASSERT_EQ(drawn.count, grid.rows);
  EXPECT_EQ(std::memcmp(drawn.times, grid.times.data(), sizeof(float) * grid.times.size()), 0);
  EXPECT_EQ(drawn.values[4], 1.0f);
  EXPECT_EQ(drawn.values[3], 0.0f);
  EXPECT_EQ(edited->sets[1].amplitudeEnvelopes[21].count, 0) << "harmonics not drawn on stay empty";

  // Harmonics with points at their own times: nothing to join, no row to
  // move the loop to.
  voice->sets[1].amplitudeEnvelopes[2].times[1] += 0.01f;
  ASSERT_TRUE(voiceGridOf(*voice, grid, error));
  EXPECT_TRUE(grid.times.empty());
  EXPECT_EQ(grid.loopStartRow, -1);
  ASSERT_TRUE(applyVoiceEdit(*voice, grid, edit, *edited, error));
  EXPECT_EQ(edited->sets[1].amplitudeEnvelopes[20].count, 0);
  edit.loopStartRow = 1;
  edit.loopEndRow = 3;
  EXPECT_FALSE(applyVoiceEdit(*voice, grid, edit, *edited, error));
}

// Cells drawn where a harmonic has no point to take them: the voice cannot
// hold them, and the page says so rather than showing what is not saved.
TEST(OpenedVoice, CellsWithoutAPointAreNamedAsNotKept) {
  auto voice = tonepixVoice(fullScale());
  voice->sets[1].amplitudeEnvelopes[7].count = 5;  // fewer points than the others
  voice->sets[1].frequencyEnvelopes[7].count = 5;
  StudioSession session;
  std::string error;
  const std::string id = session.addVoice("short.hvx", encodeVoiceFile(*voice), false, error);
  ASSERT_FALSE(id.empty()) << error;
  VoiceGrid grid;
  ASSERT_TRUE(voiceGridOf(*voice, grid, error));
  ASSERT_TRUE(grid.times.empty());
  VoiceTurn turn;
  turn.voiceId = id;
  turn.holdSeconds = 0.0;
  turn.edit.levels = grid.levels;
  turn.edit.levels[static_cast<std::size_t>(2 * 64 + 7)] = 9;  // a point it has
  std::shared_ptr<const StudioResult> result;
  ASSERT_TRUE(session.runVoice(turn, result, error)) << error;
  EXPECT_EQ(result->conversion.messages, "");
  turn.edit.levels[static_cast<std::size_t>(9 * 64 + 7)] = 200;  // past its last point
  turn.edit.levels[static_cast<std::size_t>(10 * 64 + 7)] = 200;
  ASSERT_TRUE(session.runVoice(turn, result, error)) << error;
  EXPECT_NE(result->conversion.messages.find("2 cells"), std::string::npos)
      << result->conversion.messages;
  EXPECT_EQ(result->opened->grid.levels[static_cast<std::size_t>(2 * 64 + 7)], 9);
  EXPECT_EQ(result->opened->grid.levels[static_cast<std::size_t>(9 * 64 + 7)], 0);
}
