#pragma once

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

// A 24-bit PCM WAV file in memory; empty when the audio cannot be encoded.
std::string encodeWav(const RenderedAudio& audio);
