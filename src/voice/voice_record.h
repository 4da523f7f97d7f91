#pragma once

#include <cstdint>

#include "voice/voice.h"

// The record a Converter assembles its voices in. It lives as long as the
// Converter, so that what no picture changes, the breakpoint times, is
// written into the envelopes once per run instead of once per voice.
struct VoiceRecord {
  Voice voice;
  // The times the envelopes already hold: the first `timesHeld` breakpoints
  // of the first `harmonicsHeld` amplitude and frequency envelopes, for this
  // interval (as bits) and plateau length.
  std::uint32_t intervalBits = 0;
  std::int32_t plateauPercent = 0;
  std::int32_t timesHeld = 0;
  std::int32_t harmonicsHeld = 0;
};
