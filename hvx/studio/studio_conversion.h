#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The tonepix options as the page's controls set them. Values are passed on
// as tonepix option texts, so tonepix's own parser clamps them and says so.
struct ToneOptions {
  long long harmonics = 64;      // -t
  bool useTempo = false;         // -b instead of -i
  std::string interval = "0.3";  // -i, seconds, as typed
  long long bpm = 120;           // -b
  long long plateau = 0;         // -p, per cent
  long long mute = 0;            // -d, per cent
  long long random = 0;          // -r, per cent
  long long noiseFloor = 0;      // -z, per cent
  long long ceiling = 40;        // -n, per cent
  long long detune = 5;          // -f, per mille
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
