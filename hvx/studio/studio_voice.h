#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "voice/voice.h"

// A voice file opened in the studio: its amplitude envelopes as the editor's
// grid, drawn as `hvx picture --absolute` draws them, and the grid's edits
// taken back into the voice at its own breakpoints.

// The grid of a voice, point 0 first: row k holds breakpoint k of every
// harmonic, 64 columns for each set in use, level 255 for amplitude 1.
struct VoiceGrid {
  int rows = 0;
  int columns = 0;
  std::vector<std::uint8_t> levels;  // rows * columns
  // The rows' times when every amplitude envelope with breakpoints has these
  // same ones (as every voice tonepix or hvx analyze writes); empty when they
  // differ, and then the loop cannot be moved by rows.
  std::vector<float> times;
  // The rows whose times are the loop's, or -1 when the loop falls between
  // rows (or there are no common times).
  int loopStartRow = -1;
  int loopEndRow = -1;
};

// False with a sentence when the voice has nothing to draw.
bool voiceGridOf(const Voice& voice, VoiceGrid& grid, std::string& error);

// What the page changed: the whole grid (empty: none of its levels) and the
// loop's rows (-1: the loop as it is).
struct VoiceEdit {
  std::vector<std::uint8_t> levels;
  int loopStartRow = -1;
  int loopEndRow = -1;
};

// `voice` with `edit` applied, into `edited`. A cell whose level differs from
// `grid`'s takes level / 255 at its own breakpoint; every other amplitude
// keeps its exact value, and the frequency envelopes, the times, the name
// and the rest of the file are left as they are. A harmonic without
// breakpoints that is drawn on takes the common times, silent where not
// drawn; without common times such cells stay as they are, as do cells
// past a harmonic's last breakpoint: `unkeptCells`, when given, counts the
// changed cells so left. False with a sentence for an edit that does not fit
// the grid.
bool applyVoiceEdit(const Voice& voice, const VoiceGrid& grid, const VoiceEdit& edit, Voice& edited,
                    std::string& error, int* unkeptCells = nullptr);
