#include "hvx/analysis/sound_reader.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "hvx/files/file_io.h"
#include "hvx/files/sound_memory.h"

namespace {

// Float files may hold anything; beyond this nothing is a recorded sound,
// and squares of it still add up without overflow.
constexpr float kLargestSample = 1000.0f;
constexpr sf_count_t kChunkFrames = 4096;

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", value);
  return text;
}

// Skips `frames` frames by reading them, for streams that cannot seek.
bool skipFrames(SNDFILE* file, int channels, sf_count_t frames) {
  std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames * channels));
  while (frames > 0) {
    const sf_count_t got = sf_readf_float(file, chunk.data(), std::min(frames, kChunkFrames));
    if (got <= 0) {
      return false;
    }
    frames -= got;
  }
  return true;
}

bool readPart(SNDFILE* file, const SF_INFO& info, const SoundRequest& request, Sound& sound,
              std::string& error) {
  if (info.samplerate < kMinSoundRate || info.samplerate > kMaxSoundRate) {
    error = "sample rate " + std::to_string(info.samplerate) + " Hz is outside " +
            std::to_string(kMinSoundRate) + ".." + std::to_string(kMaxSoundRate);
    return false;
  }
  if (info.channels < 1 || info.channels > kMaxSoundChannels) {
    error = std::to_string(info.channels) + " channels; at most " +
            std::to_string(kMaxSoundChannels) + " are read";
    return false;
  }
  if (info.frames <= 0) {
    error = "holds no sound (empty)";
    return false;
  }
  const double rate = static_cast<double>(info.samplerate);
  sound.sampleRate = info.samplerate;
  sound.channels = info.channels;
  sound.fileSeconds = static_cast<double>(info.frames) / rate;
  const auto first = static_cast<sf_count_t>(std::llround(request.start * rate));
  if (first >= info.frames) {
    error = "--start " + seconds(request.start) + " is at or past the end of the sound (" +
            seconds(sound.fileSeconds) + ")";
    return false;
  }
  sound.startSeconds = static_cast<double>(first) / rate;
  sf_count_t wanted = info.frames - first;
  if (request.length > 0.0) {
    wanted = std::min(wanted, static_cast<sf_count_t>(std::llround(request.length * rate)));
  }
  const auto most = static_cast<sf_count_t>(std::floor(request.maxLength * rate));
  sound.cut = wanted > most;
  wanted = std::min(wanted, most);
  if (first > 0 && sf_seek(file, first, SEEK_SET) != first &&
      !skipFrames(file, info.channels, first)) {
    error = "cannot read the sound up to --start";
    return false;
  }
  // A header may promise more than the file holds: memory grows with what
  // is actually decoded, never with the promise alone.
  sound.samples.clear();
  sound.samples.reserve(static_cast<std::size_t>(std::min<sf_count_t>(wanted, 1 << 22)));
  const auto channels = static_cast<std::size_t>(info.channels);
  std::vector<float> chunk(static_cast<std::size_t>(kChunkFrames) * channels);
  const float scale = 1.0f / static_cast<float>(info.channels);
  for (sf_count_t done = 0; done < wanted;) {
    const sf_count_t got =
        sf_readf_float(file, chunk.data(), std::min(kChunkFrames, wanted - done));
    if (got <= 0) {
      break;
    }
    for (sf_count_t f = 0; f < got; ++f) {
      float sum = 0.0f;
      for (std::size_t c = 0; c < channels; ++c) {
        sum += chunk[static_cast<std::size_t>(f) * channels + c];
      }
      float mono = sum * scale;
      mono = std::isfinite(mono) ? std::clamp(mono, -kLargestSample, kLargestSample) : 0.0f;
      sound.samples.push_back(mono);
    }
    done += got;
  }
  if (sound.samples.empty()) {
    error = std::string("cannot read the sound: ") + sf_strerror(file);
    return false;
  }
  if (sound.seconds() < kMinSoundSeconds) {
    error = "too short: " + seconds(sound.seconds()) + " of sound, at least " +
            seconds(kMinSoundSeconds) + " is needed for one point";
    return false;
  }
  return true;
}

bool readOpened(SNDFILE* file, const SF_INFO& info, const SoundRequest& request, Sound& sound,
                std::string& error) {
  if (file == nullptr) {
    error = std::string("not a sound hvx can read (") + sf_strerror(nullptr) + ")";
    return false;
  }
  const bool read = readPart(file, info, request, sound, error);
  sf_close(file);
  return read;
}

}  // namespace

bool readSoundFile(const std::string& path, const SoundRequest& request, Sound& sound,
                   std::string& error) {
  namespace fs = std::filesystem;
  if (!isRegularFile(path, error)) {
    return false;
  }
  std::error_code status;
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    error = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr && fs::file_size(path, status) == 0) {
    error = "is empty";
    return false;
  }
  return readOpened(file, info, request, sound, error);
}

bool readSoundMemory(const unsigned char* data, std::size_t size, const SoundRequest& request,
                     Sound& sound, std::string& error) {
  SF_VIRTUAL_IO io = soundMemoryCallbacks();
  SoundMemory source = SoundMemory::reading(data, size);
  SF_INFO info{};
  return readOpened(sf_open_virtual(&io, SFM_READ, &info, &source), info, request, sound, error);
}
