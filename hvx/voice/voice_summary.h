#pragma once

#include <string>

#include "voice/voice.h"

// `hvx info`'s text about one valid voice: its header, then a line per
// harmonic that has breakpoints (peak amplitude, detune range in cents).
std::string summarizeVoice(const Voice& voice);
