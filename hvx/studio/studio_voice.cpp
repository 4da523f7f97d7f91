#include "hvx/studio/studio_voice.h"

#include <algorithm>
#include <cstring>

#include "hvx/voice/voice_picture.h"
#include "voice/voice_layout.h"

namespace {

constexpr double kFullLevel = 255.0;

// The times every amplitude envelope with breakpoints shares, when they
// share them and the longest has `rows` of them; empty otherwise.
std::vector<float> commonTimes(const Voice& voice, const int (&slots)[kVoiceSlots], int used,
                               int rows) {
  const Envelope* first = nullptr;
  for (int i = 0; i < used; ++i) {
    for (const Envelope& envelope : voice.sets[slots[i]].amplitudeEnvelopes) {
      if (envelope.count == 0) {
        continue;
      }
      if (first == nullptr) {
        first = &envelope;
      }
      // Compared as bits: a time is a stored float, not a measurement.
      if (envelope.count != rows ||
          std::memcmp(envelope.times, first->times,
                      sizeof(float) * static_cast<std::size_t>(rows)) != 0) {
        return {};
      }
    }
  }
  if (first == nullptr) {
    return {};
  }
  return std::vector<float>(first->times, first->times + rows);
}

// The row whose time is exactly `time`, the last of equal ones; -1 when none.
int rowAt(const std::vector<float>& times, float time) {
  for (std::size_t k = times.size(); k-- > 0;) {
    if (times[k] == time) {
      return static_cast<int>(k);
    }
  }
  return -1;
}

}  // namespace

bool voiceGridOf(const Voice& voice, VoiceGrid& grid, std::string& error) {
  PictureSettings settings;
  settings.absolute = true;
  settings.topFirst = true;  // row k of the drawing is point k
  const GreyPicture picture = drawVoice(voice, settings);
  if (picture.pixels.empty()) {
    error = "The voice has no amplitude breakpoints to draw.";
    return false;
  }
  grid.rows = picture.height;
  grid.columns = picture.width;
  grid.levels = picture.pixels;
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  grid.times = commonTimes(voice, slots, used, grid.rows);
  grid.loopStartRow = rowAt(grid.times, voice.loopStart);
  grid.loopEndRow = rowAt(grid.times, voice.loopEnd);
  return true;
}

bool applyVoiceEdit(const Voice& voice, const VoiceGrid& grid, const VoiceEdit& edit, Voice& edited,
                    std::string& error, int* unkeptCells) {
  const std::size_t cells =
      static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.columns);
  if (!edit.levels.empty() && edit.levels.size() != cells) {
    error = "An opened voice keeps its " + std::to_string(grid.rows) + " points of " +
            std::to_string(grid.columns) +
            " harmonics: a grid of another size would be another voice (make it a picture).";
    return false;
  }
  const bool movesLoop = edit.loopStartRow >= 0 || edit.loopEndRow >= 0;
  if (movesLoop && grid.times.empty()) {
    error =
        "The loop of this voice cannot be moved by rows: its harmonics have breakpoints at "
        "different times.";
    return false;
  }
  edited = voice;
  if (movesLoop) {
    const int start = edit.loopStartRow >= 0 ? edit.loopStartRow : grid.loopStartRow;
    const int end = edit.loopEndRow >= 0 ? edit.loopEndRow : grid.loopEndRow;
    if (start < 0 || end < 0 || start >= grid.rows || end >= grid.rows || start >= end) {
      error = "The loop must start on a row before the row it ends on, both within the " +
              std::to_string(grid.rows) + " points.";
      return false;
    }
    edited.loopStart = grid.times[static_cast<std::size_t>(start)];
    edited.loopEnd = grid.times[static_cast<std::size_t>(end)];
  }
  if (edit.levels.empty()) {
    return true;
  }
  int slots[kVoiceSlots];
  const int used = slotsInUse(voice, slots);
  for (int column = 0; column < grid.columns && column / kVoiceHarmonics < used; ++column) {
    Envelope& envelope =
        edited.sets[slots[column / kVoiceHarmonics]].amplitudeEnvelopes[column % kVoiceHarmonics];
    const auto at = [&](int row) {
      return static_cast<std::size_t>(row) * static_cast<std::size_t>(grid.columns) +
             static_cast<std::size_t>(column);
    };
    bool drawnOnEmpty = false;
    for (int row = 0; row < grid.rows && envelope.count == 0; ++row) {
      drawnOnEmpty = drawnOnEmpty || edit.levels[at(row)] != 0;
    }
    if (drawnOnEmpty && !grid.times.empty()) {
      // A harmonic the voice left silent joins it at the common points.
      envelope.count = grid.rows;
      std::copy(grid.times.begin(), grid.times.end(), envelope.times);
      std::fill(envelope.values, envelope.values + grid.rows, 0.0f);
    }
    for (int row = 0; row < grid.rows; ++row) {
      const std::uint8_t level = edit.levels[at(row)];
      if (level == grid.levels[at(row)]) {
        continue;
      }
      if (row < envelope.count) {
        envelope.values[row] = static_cast<float>(static_cast<double>(level) / kFullLevel);
      } else if (unkeptCells != nullptr) {
        ++*unkeptCells;
      }
    }
  }
  return true;
}
