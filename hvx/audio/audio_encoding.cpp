#include "hvx/audio/audio_encoding.h"

#include <pthread.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "hvx/files/safe_write.h"
#include "hvx/files/sound_memory.h"

namespace {

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

namespace {

const char* formatName(AudioFormat format) {
  switch (format) {
    case AudioFormat::Wav:
      return "WAV";
    case AudioFormat::Flac:
      return "FLAC";
    case AudioFormat::Aiff:
      return "AIFF";
    case AudioFormat::OggVorbis:
      return "Ogg Vorbis";
  }
  return "audio";
}

constexpr sf_count_t kSamplesPerWrite = 65536;

struct EncodeJob {
  AudioFormat format;
  int sampleRate;
  const AudioProducer* produce;
  int fd;  // the file to write, or -1 for `bytes`
  std::string bytes;
  std::string problem;
  bool done = false;
};

void encode(EncodeJob& job) {
  SF_VIRTUAL_IO io = soundMemoryCallbacks();
  SoundMemory file;
  SF_INFO info{};
  info.samplerate = job.sampleRate;
  info.channels = 1;
  info.format = libraryFormat(job.format);
  const std::string failed = std::string("cannot encode the audio as ") + formatName(job.format);
  SNDFILE* sound = job.fd >= 0 ? sf_open_fd(job.fd, SFM_WRITE, &info, SF_FALSE)
                               : sf_open_virtual(&io, SFM_WRITE, &info, &file);
  if (sound == nullptr) {
    job.problem = failed + ": " + sf_strerror(nullptr);
    return;
  }
  // Samples beyond full scale must saturate, never wrap round.
  sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  sf_count_t taken = 0;
  bool refused = false;
  const auto write = [&](const float* samples, std::size_t count) {
    const auto frames = static_cast<sf_count_t>(count);
    for (sf_count_t at = 0; at < frames && !refused;) {
      // In pieces: some encoders take stack in proportion to one call's samples.
      const sf_count_t piece = std::min(kSamplesPerWrite, frames - at);
      const sf_count_t wrote = sf_writef_float(sound, samples + at, piece);
      at += std::max<sf_count_t>(wrote, 0);
      taken += std::max<sf_count_t>(wrote, 0);
      refused = wrote != piece;
    }
    return !refused;
  };
  const bool complete = (*job.produce)(write) && !refused;
  if (!complete) {
    // The library does not always say why; then say how far it got.
    job.problem = sf_error(sound) != SF_ERR_NO_ERROR ? failed + ": " + sf_strerror(sound)
                                                     : failed + ": the encoder stopped after " +
                                                           std::to_string(taken) + " samples";
  }
  if (sf_close(sound) != 0 && complete) {
    job.problem = failed + ": the encoder failed to finish";
    return;
  }
  if (complete) {
    job.bytes = std::move(file.written);
    job.done = true;
  }
}

// The encoders' own stacks grow with the sample rate (the Vorbis one far
// beyond a thread's usual 8 MiB at 192 kHz), so they run on a thread of their
// own with room to spare.
constexpr std::size_t kEncoderStackBytes = std::size_t{64} << 20;

void* runEncodeJob(void* job) {
  encode(*static_cast<EncodeJob*>(job));
  return nullptr;
}

bool runOnLargeStack(EncodeJob& job) {
  pthread_attr_t attributes;
  pthread_t thread;
  bool started = pthread_attr_init(&attributes) == 0;
  if (started) {
    started = pthread_attr_setstacksize(&attributes, kEncoderStackBytes) == 0 &&
              pthread_create(&thread, &attributes, runEncodeJob, &job) == 0;
    pthread_attr_destroy(&attributes);
  }
  if (!started) {
    job.problem = "cannot encode the audio: no thread with room for the encoder";
    return false;
  }
  pthread_join(thread, nullptr);
  return job.done;
}

}  // namespace

bool encodeAudio(const RenderedAudio& audio, AudioFormat format, std::string& bytes,
                 std::string& problem) {
  const AudioProducer whole = [&audio](const SampleSink& write) {
    return write(audio.samples.data(), audio.samples.size());
  };
  EncodeJob job{format, audio.sampleRate, &whole, -1, {}, {}};
  if (!runOnLargeStack(job)) {
    problem = job.problem;
    return false;
  }
  bytes = std::move(job.bytes);
  return true;
}

bool writeAudioFile(const std::string& path, AudioFormat format, int sampleRate,
                    const AudioProducer& produce, std::string& problem) {
  return writeFileThrough(
      path,
      [&](Replacement& file, std::string& failed) {
        EncodeJob job{format, sampleRate, &produce, file.fd, {}, {}};
        const bool complete = runOnLargeStack(job);
        failed = job.problem;
        return complete;
      },
      problem);
}

std::string encodeWav(const RenderedAudio& audio) {
  std::string bytes;
  std::string problem;
  return encodeAudio(audio, AudioFormat::Wav, bytes, problem) ? bytes : std::string();
}
