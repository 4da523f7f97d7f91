#pragma once

#include <string>
#include <vector>

#include "hvx/studio/studio_conversion.h"

// Sets the timing option that gives tonepix `interval` exactly: the shortest
// -i text, or -b with a tempo when the interval takes more than a few digits
// to write (0.6666667 s is -b90). False when neither does.
bool chooseToneTiming(float interval, ToneOptions& tone);

// The options as toneOptionTexts() gives them, tonepix's defaults left out.
bool nonDefaultOptionTexts(const ToneOptions& tone, std::vector<std::string>& texts);
