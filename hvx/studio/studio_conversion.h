#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/option_table.h"

// tonepix's default interval as the page shows it: "0.3".
std::string defaultIntervalText();

// The tonepix options as the page's controls set them, starting from
// tonepix's defaults. Values are passed on as tonepix option texts, so
// tonepix's own parser clamps them and says so.
struct ToneOptions {
  long long harmonics = optionDefault('t');
  bool useTempo = false;                         // -b instead of -i
  std::string interval = defaultIntervalText();  // -i, seconds, as typed
  long long bpm = 120;  // -b; the studio's starting tempo, since tonepix's is off
  long long plateau = optionDefault('p');
  long long mute = optionDefault('d');
  long long random = optionDefault('r');
  long long noiseFloor = optionDefault('z');
  long long ceiling = optionDefault('n');
  long long detune = optionDefault('f');
};

// The options as tonepix command-line texts ("-t32", "-i0.5", ...), in the
// order the page shows them. An interval that is not a plain decimal number
// is refused with a sentence in `error`.
bool toneOptionTexts(const ToneOptions& options, std::vector<std::string>& texts,
                     std::string& error);

// What one conversion gave.
struct ToneConversion {
  bool converted = false;
  std::string voice;      // the voice file's bytes
  std::string summary;    // tonepix's summary line, without its line end
  std::string messages;   // clamp warnings and the loader's lines, as tonepix writes them
  std::string error;      // one sentence when not converted
  int harmonicCount = 0;  // harmonics in the voice, after clamping
  // Points of the sustain loop, as the summary line gives them.
  int loopStartPoint = 0;
  int loopEndPoint = 0;
  // The random generator took part (detune, mute or random values on, after
  // clamping): the voice depends on the studio's seed, which tonepix on a
  // command line does not take.
  bool usedGenerator = false;
  // Noise floor and ceiling after clamping, in per cent.
  int noiseFloorPercent = 0;
  int ceilingPercent = 0;
};

// Converts one picture exactly as `tonepix OPTIONS NAME.bmp` would with its
// generator seeded with `seed`: the same parser, stages and writer, run in a
// private temporary folder. `bitmap` holds the bytes tonepix would read;
// `name` (a plain file name without extension) becomes the voice's name.
// Conversions run one at a time: the generator is one shared state.
ToneConversion convertLikeTonepix(const std::string& bitmap, const std::string& name,
                                  const std::vector<std::string>& optionTexts, std::uint32_t seed);
