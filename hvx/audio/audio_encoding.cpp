#include "hvx/audio/audio_encoding.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

namespace {

// A growing byte string that libsndfile reads, writes and seeks in as if it
// were a file.
struct MemoryFile {
  std::string bytes;
  sf_count_t position = 0;
};

MemoryFile& memoryOf(void* user) { return *static_cast<MemoryFile*>(user); }

sf_count_t memoryLength(void* user) { return static_cast<sf_count_t>(memoryOf(user).bytes.size()); }

sf_count_t memorySeek(sf_count_t offset, int whence, void* user) {
  MemoryFile& file = memoryOf(user);
  sf_count_t base = 0;
  if (whence == SEEK_CUR) {
    base = file.position;
  } else if (whence == SEEK_END) {
    base = memoryLength(user);
  }
  if (base + offset < 0) {
    return -1;
  }
  file.position = base + offset;
  return file.position;
}

sf_count_t memoryRead(void* destination, sf_count_t count, void* user) {
  MemoryFile& file = memoryOf(user);
  const sf_count_t length = memoryLength(user);
  const sf_count_t available = file.position < length ? length - file.position : 0;
  const sf_count_t taken = std::min(count, available);
  if (taken > 0) {
    std::memcpy(destination, file.bytes.data() + file.position, static_cast<std::size_t>(taken));
    file.position += taken;
  }
  return taken;
}

sf_count_t memoryWrite(const void* source, sf_count_t count, void* user) {
  MemoryFile& file = memoryOf(user);
  const auto at = static_cast<std::size_t>(file.position);
  const auto size = static_cast<std::size_t>(count);
  if (file.bytes.size() < at + size) {
    file.bytes.resize(at + size, '\0');
  }
  std::memcpy(&file.bytes[at], source, size);
  file.position += count;
  return count;
}

sf_count_t memoryTell(void* user) { return memoryOf(user).position; }

int libraryFormat(AudioFormat format) {
  switch (format) {
    case AudioFormat::Wav:
      return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    case AudioFormat::Flac:
      return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    case AudioFormat::Aiff:
      return SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
    case AudioFormat::OggVorbis:
      return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  }
  return 0;
}

}  // namespace

bool audioFormatForPath(const std::string& path, AudioFormat& format) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".wav") {
    format = AudioFormat::Wav;
  } else if (extension == ".flac") {
    format = AudioFormat::Flac;
  } else if (extension == ".aif" || extension == ".aiff") {
    format = AudioFormat::Aiff;
  } else if (extension == ".ogg") {
    format = AudioFormat::OggVorbis;
  } else {
    return false;
  }
  return true;
}

bool encodeAudio(const RenderedAudio& audio, AudioFormat format, std::string& bytes,
                 std::string& problem) {
  SF_VIRTUAL_IO io{memoryLength, memorySeek, memoryRead, memoryWrite, memoryTell};
  MemoryFile file;
  SF_INFO info{};
  info.samplerate = audio.sampleRate;
  info.channels = 1;
  info.format = libraryFormat(format);
  SNDFILE* sound = sf_open_virtual(&io, SFM_WRITE, &info, &file);
  if (sound == nullptr) {
    problem = std::string("cannot encode the audio: ") + sf_strerror(nullptr);
    return false;
  }
  // Samples beyond full scale must saturate, never wrap round.
  sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const auto frames = static_cast<sf_count_t>(audio.samples.size());
  const bool written = sf_writef_float(sound, audio.samples.data(), frames) == frames;
  if (!written) {
    problem = std::string("cannot encode the audio: ") + sf_strerror(sound);
  }
  if (sf_close(sound) != 0 && written) {
    problem = "cannot encode the audio: the encoder failed to finish";
    return false;
  }
  if (!written) {
    return false;
  }
  bytes = std::move(file.bytes);
  return true;
}

std::string encodeWav(const RenderedAudio& audio) {
  std::string bytes;
  std::string problem;
  return encodeAudio(audio, AudioFormat::Wav, bytes, problem) ? bytes : std::string();
}
