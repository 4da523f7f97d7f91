#pragma once

#include <string>
#include <vector>

#include "hvx/studio/studio_conversion.h"

// A picture and the tonepix options that make a given voice.
struct TonepixRecipe {
  std::string bitmap;  // the picture as tonepix reads it (8-bit grey BMP, 64 wide)
  ToneOptions tone;    // the options as the studio's conversion takes them
  std::vector<std::string>
      options;  // tonepix command-line texts, e.g. {"-n40"} or {"-n100", "-i0.5"}:
                // as toneOptionTexts() gives them, tonepix's defaults left out
};

// True when `tonepix OPTIONS NAME.bmp` with recipe.bitmap writes exactly
// `voiceFile`, byte for byte (`name` is the voice file's stem, which tonepix
// stores as the voice's name): shown by converting the picture in memory and
// comparing. False whenever that cannot be shown: detuned ratios, mute or
// random stages, a structure tonepix never writes, or any doubt. `recipe` is
// set only when true.
//
// The recipe prefers tonepix's defaults: no noise floor (a cut cell is a black
// one), the default ceiling when it fits, the interval unless a tempo says it
// more briefly. Bounded: a few thousand cell checks and one conversion.
bool findTonepixRecipe(const std::string& voiceFile, const std::string& name,
                       TonepixRecipe& recipe);
