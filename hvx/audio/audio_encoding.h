#pragma once

#include <functional>
#include <string>

#include "hvx/audio/voice_render.h"

// Audio file kinds a preview can be saved as; PCM ones hold 24-bit samples.
enum class AudioFormat { Wav, Flac, Aiff, OggVorbis };

// The kind named by a file's extension (.wav, .flac, .aif/.aiff, .ogg; any
// case). False for any other extension.
bool audioFormatForPath(const std::string& path, AudioFormat& format);

// The whole audio file in memory, encoded by libsndfile on a thread with a
// large stack. False with one line in `problem`, naming the format and what
// failed, when the library refuses.
bool encodeAudio(const RenderedAudio& audio, AudioFormat format, std::string& bytes,
                 std::string& problem);

// Hands every sample of a preview to `write`, in order; false when it stopped.
using AudioProducer = std::function<bool(const SampleSink& write)>;

// Writes the audio `produce` makes straight to the file at `path`, replaced
// the way writeFileSafely() does, without holding it in memory. False with
// one line in `problem` (the path not included) otherwise.
bool writeAudioFile(const std::string& path, AudioFormat format, int sampleRate,
                    const AudioProducer& produce, std::string& problem);

// A 24-bit PCM WAV file in memory; empty when the audio cannot be encoded.
std::string encodeWav(const RenderedAudio& audio);
