#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/option_table.h"

// tonepix's default interval as the page shows it: "0.3".
std::string defaultIntervalText();

// The tonepix options as the page's controls set them, starting from
// tonepix's defaults; each whole-number option under its place in
// kToneOptions. tonepix's own setters clamp them and say so.
struct ToneOptions {
  ToneOptions();
  long long& whole(char letter);
  long long whole(char letter) const;

  long long values[kToneOptionCount];            // whole-number options; others unused
  bool useTempo = false;                         // -b instead of -i
  std::string interval = defaultIntervalText();  // -i, seconds, as typed
};

// The page offers the interval or the tempo, as its request's useTempo says:
// which of the two an option is ("interval" or "tempo"), or null for the
// others.
const char* timingChoice(const ToneOption& option);

// The studio's starting tempo, since tonepix's is off.
constexpr long long kStudioStartingTempo = 120;

// The options as tonepix command-line texts ("-t32", "-i0.5", ...), in the
// order of tonepix's help, for the command the page shows. An interval that
// is not a plain decimal number is refused with a sentence in `error`.
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
// generator seeded with `seed`, in memory: tonepix's option setters, loader,
// stages and voice encoding, its messages collected as text. `bitmap` holds
// the bytes tonepix would read; `name` (a plain file name without extension)
// becomes the voice's name. Conversions run one at a time: the generator is
// one shared state.
ToneConversion convertLikeTonepix(const std::string& bitmap, const std::string& name,
                                  const ToneOptions& options, std::uint32_t seed);
