#include "hvx/analysis/sound_reader.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>

#include "hvx/files/file_io.h"
#include "hvx/files/sound_memory.h"

namespace {

// Float files may hold anything; beyond this nothing is a recorded sound,
// and squares of it still add up without overflow.
constexpr float kLargestSample = 1000.0f;
// Samples decoded at a time, all channels together: the mix needs no more.
constexpr sf_count_t kChunkSamples = 1 << 16;
// Chunks a WAV may hold before its format: real files have a few.
constexpr int kMostChunksBeforeFormat = 64;
constexpr std::uint16_t kWavMpeg = 0x0050;
constexpr std::uint16_t kWavMpegLayer3 = 0x0055;
constexpr std::uint16_t kWavExtensible = 0xfffe;
const char* const kNoMpeg = "MPEG audio (MP3) is not read; convert it to WAV or FLAC first";

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", value);
  return text;
}

// Copies up to `count` bytes from `offset` of the sound; how many came.
using Peek =
    std::function<std::size_t(std::uint64_t offset, unsigned char* out, std::size_t count)>;

std::uint32_t littleEndian(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = (value << 8) | bytes[i];
  }
  return value;
}

// The codec a RIFF or RF64 WAV names in its format chunk; 0 when none is found.
std::uint32_t wavCodec(const Peek& peek) {
  std::uint64_t offset = 12;
  for (int chunk = 0; chunk < kMostChunksBeforeFormat; ++chunk) {
    unsigned char head[8];
    if (peek(offset, head, sizeof head) != sizeof head) {
      return 0;
    }
    const std::uint32_t size = littleEndian(head + 4, 4);
    if (std::memcmp(head, "fmt ", 4) == 0) {
      unsigned char format[26];
      const std::size_t got = peek(offset + 8, format, sizeof format);
      const std::uint32_t codec = got >= 2 ? littleEndian(format, 2) : 0;
      return codec == kWavExtensible && got == sizeof format ? littleEndian(format + 24, 2) : codec;
    }
    offset += 8 + std::uint64_t{size} + (size & 1U);
  }
  return 0;
}

// Only the containers hvx reads reach libsndfile, and none carrying MPEG
// audio: its decoder would print on standard error, and libsndfile would
// also take a file of no known kind for MPEG by its name alone.
bool readableContainer(const Peek& peek, std::string& error) {
  unsigned char head[12] = {};
  const std::size_t got = peek(0, head, sizeof head);
  if (!isSoundContainer(head, got)) {
    error = "not a sound hvx can read (WAV, FLAC, AIFF or Ogg)";
    return false;
  }
  if (std::memcmp(head + 8, "WAVE", 4) == 0) {
    const std::uint32_t codec = wavCodec(peek);
    if (codec == kWavMpeg || codec == kWavMpegLayer3) {
      error = kNoMpeg;
      return false;
    }
  }
  return true;
}

// Decodes `frames` frames into nothing, for streams that cannot seek.
bool skipFrames(SNDFILE* file, int channels, sf_count_t frames) {
  const sf_count_t chunkFrames = std::max<sf_count_t>(1, kChunkSamples / channels);
  std::vector<float> chunk(static_cast<std::size_t>(chunkFrames * channels));
  while (frames > 0) {
    const sf_count_t got = sf_readf_float(file, chunk.data(), std::min(frames, chunkFrames));
    if (got <= 0) {
      return false;
    }
    frames -= got;
  }
  return true;
}

// `frames` is what would be decoded, all channels together.
std::string decodedTooMuch(sf_count_t frames, const SF_INFO& info) {
  const double rate = static_cast<double>(info.samplerate);
  // Rounded down, so that the part named is taken.
  const double most =
      std::floor(static_cast<double>(kMaxDecodedSamples / info.channels) / rate * 1000.0) / 1000.0;
  return seconds(static_cast<double>(frames) / rate) + " of " + std::to_string(info.channels) +
         (info.channels == 1 ? " channel at " : " channels at ") + std::to_string(info.samplerate) +
         " Hz is " + std::to_string(frames * info.channels) + " samples, more than the " +
         std::to_string(kMaxDecodedSamples) +
         " hvx decodes for one analysis; choose a part of at most " + seconds(most) +
         " with --start and --length";
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
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG ||
      (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_MPEG_LAYER_I ||
      (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_MPEG_LAYER_II ||
      (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_MPEG_LAYER_III) {
    error = kNoMpeg;
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
  const sf_count_t mostFrames = kMaxDecodedSamples / info.channels;
  // Read to the end, a long sound is taken as far as the cap allows, as the
  // time limit takes it; a --length that needs more is refused.
  if (wanted > mostFrames && request.length <= 0.0) {
    sound.cut = true;
    sound.cutByDecoding = true;
    wanted = mostFrames;
  }
  if (wanted > mostFrames) {
    error = decodedTooMuch(wanted, info);
    return false;
  }
  if (first > 0 && sf_seek(file, first, SEEK_SET) != first) {
    // Reaching --start means decoding up to it: that counts as well.
    if (first > mostFrames - wanted) {
      error = decodedTooMuch(first + wanted, info);
      return false;
    }
    if (!skipFrames(file, info.channels, first)) {
      error = "cannot read the sound up to --start";
      return false;
    }
  }
  // Within the cap the whole part is reserved; untouched pages of a header's
  // empty promise take no memory.
  sound.samples.clear();
  sound.samples.reserve(static_cast<std::size_t>(wanted));
  const auto channels = static_cast<std::size_t>(info.channels);
  const sf_count_t chunkFrames = std::max<sf_count_t>(1, kChunkSamples / info.channels);
  std::vector<float> chunk(static_cast<std::size_t>(chunkFrames) * channels);
  const float scale = 1.0f / static_cast<float>(info.channels);
  for (sf_count_t done = 0; done < wanted;) {
    const sf_count_t got = sf_readf_float(file, chunk.data(), std::min(chunkFrames, wanted - done));
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

bool isSoundContainer(const unsigned char* head, std::size_t size) {
  const auto is = [&](std::size_t at, const char* text) {
    return size >= at + 4 && std::memcmp(head + at, text, 4) == 0;
  };
  const bool wav = (is(0, "RIFF") || is(0, "RF64")) && is(8, "WAVE");
  return wav || is(0, "fLaC") || is(0, "OggS") ||
         (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC")));
}

bool readSoundFile(const std::string& path, const SoundRequest& request, Sound& sound,
                   std::string& error) {
  if (!isRegularFile(path, error)) {
    return false;
  }
  // One descriptor for the look and the decoding: the name may change meanwhile.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat status {};
  if (descriptor < 0 || ::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    error = descriptor < 0 ? std::string("cannot open: ") + std::strerror(errno)
                           : "is not a regular file";
    if (descriptor >= 0) {
      ::close(descriptor);
    }
    return false;
  }
  if (status.st_size == 0) {
    ::close(descriptor);
    error = "is empty";
    return false;
  }
  const Peek peek = [descriptor](std::uint64_t offset, unsigned char* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got =
          ::pread(descriptor, out + done, count - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      done += static_cast<std::size_t>(got);
    }
    return done;
  };
  if (!readableContainer(peek, error)) {
    ::close(descriptor);
    return false;
  }
  SF_INFO info{};
  return readOpened(sf_open_fd(descriptor, SFM_READ, &info, SF_TRUE), info, request, sound, error);
}

bool readSoundMemory(const unsigned char* data, std::size_t size, const SoundRequest& request,
                     Sound& sound, std::string& error) {
  const Peek peek = [data, size](std::uint64_t offset, unsigned char* out, std::size_t count) {
    if (offset >= size) {
      return std::size_t{0};
    }
    const std::size_t taken = std::min<std::size_t>(count, size - static_cast<std::size_t>(offset));
    std::memcpy(out, data + offset, taken);
    return taken;
  };
  if (!readableContainer(peek, error)) {
    return false;
  }
  SF_VIRTUAL_IO io = soundMemoryCallbacks();
  SoundMemory source = SoundMemory::reading(data, size);
  SF_INFO info{};
  return readOpened(sf_open_virtual(&io, SFM_READ, &info, &source), info, request, sound, error);
}
