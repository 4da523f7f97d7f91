#pragma once

#include <cstddef>
#include <string>

#include "hvx/audio/audio_encoding.h"
#include "hvx/audio/voice_render.h"
#include "voice/voice.h"

// A normalized preview whose samples take at most this many bytes is rendered
// once and held whole while its peak is found; a longer one is rendered twice
// (once for the peak, once to write), so that memory stays bounded however
// long the hold.
constexpr std::size_t kHeldPreviewBytes = std::size_t{64} << 20;

// What a written preview file holds.
struct PreviewFile {
  long long samples = 0;
  int sampleRate = 0;
  double peak = 0;  // largest magnitude before `gain`
  double gain = 1;  // factor applied to every sample
  bool clipped = false;
};

// Renders the preview of `voice` into the audio file at `path`, replaced the
// way writeAudioFile() does. The same file and figures whether it is held
// whole or not (`heldBytes` bounds that). False with one line in `problem`
// (the path not included) when renderProblem() objects or it cannot be
// written.
bool writePreviewFile(const Voice& voice, const RenderSettings& settings, const std::string& path,
                      AudioFormat format, PreviewFile& written, std::string& problem,
                      std::size_t heldBytes = kHeldPreviewBytes);
