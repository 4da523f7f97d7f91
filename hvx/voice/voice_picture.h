#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "voice/voice.h"

// How a voice's amplitude envelopes are drawn: one pixel column per harmonic
// (64 per set the voice holds, side by side), one pixel row per breakpoint.
struct PictureSettings {
  // Amplitude 1.0 is white (255); otherwise the voice's largest amplitude is.
  bool absolute = false;
  // The first breakpoint in the top row; otherwise in the bottom row, the way
  // a picture's bottom row is the first envelope point.
  bool topFirst = false;
  int scale = 1;  // every cell drawn as scale x scale pixels
};

constexpr int kMaxPictureScale = 32;

// Grey levels, row by row from the top.
struct GreyPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};

GreyPicture drawVoice(const Voice& voice, const PictureSettings& settings);

// PNG file bytes of a picture; empty when there is nothing to encode.
std::string encodePng(const GreyPicture& picture);

// The drawing as PNG file bytes; empty when the voice has nothing to draw.
std::string drawVoicePng(const Voice& voice, const PictureSettings& settings);
