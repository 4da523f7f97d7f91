#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Reading a recorded sound for analysis: WAV, FLAC, AIFF or Ogg, through
// libsndfile, any sample format, channels mixed to one as they are decoded.
// Only the part asked for is decoded. MPEG audio is refused before its
// decoder sees it: that decoder writes its own diagnostics on standard error.

// The most of a sound one analysis reads: 10 minutes, 4 bytes a sample
// (115 MB at 48 kHz). Longer sounds are read in part.
constexpr double kMaxAnalysedSeconds = 600.0;
// Shorter parts give no point: the pitch needs a few periods.
constexpr double kMinSoundSeconds = 0.05;
constexpr int kMinSoundRate = 8000;
constexpr int kMaxSoundRate = 192000;
constexpr int kMaxSoundChannels = 256;
// The most samples (frames x channels) one analysis decodes, seeking
// included: this bounds its time and memory whatever the rate and channels.
constexpr long long kMaxDecodedSamples = 16LL << 20;

struct SoundRequest {
  double start = 0;                        // seconds into the file
  double length = 0;                       // seconds; 0 reads to the end
  double maxLength = kMaxAnalysedSeconds;  // never more than this, whatever was asked
};

struct Sound {
  std::vector<float> samples;  // mono, the mean of the channels
  int sampleRate = 0;
  int channels = 0;
  double fileSeconds = 0;   // the whole file
  double startSeconds = 0;  // where `samples` begins in the file
  // The part was cut short of the file's end: by `maxLength`, or by the
  // samples decoded at most (`cutByDecoding`).
  bool cut = false;
  bool cutByDecoding = false;

  double seconds() const {
    return static_cast<double>(samples.size()) / static_cast<double>(sampleRate);
  }
};

// Whether a file's first `size` bytes (12 suffice) open a container the
// reader takes: WAV, FLAC, Ogg or AIFF.
bool isSoundContainer(const unsigned char* head, std::size_t size);

// False with a one-line reason in `error` when the file is not a sound
// libsndfile reads, is empty, has a rate outside 8..192 kHz, or when the
// part asked for is outside it, shorter than kMinSoundSeconds or more than
// kMaxDecodedSamples.
bool readSoundFile(const std::string& path, const SoundRequest& request, Sound& sound,
                   std::string& error);
// The same for a whole file held in memory.
bool readSoundMemory(const unsigned char* data, std::size_t size, const SoundRequest& request,
                     Sound& sound, std::string& error);
