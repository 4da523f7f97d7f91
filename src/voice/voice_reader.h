#pragma once

#include <cstddef>
#include <string>

#include "voice/voice.h"

// Why a file is not a well-formed voice: what is wrong, and the byte offset
// where the offending field starts.
struct VoiceReadError {
  std::size_t offset = 0;
  std::string problem;
};

// Decodes a whole voice file into `voice`. Every count, length and value is
// checked against the bytes that are actually there before it is used, so any
// input gives either a voice or one error; bytes after the last aux list are an
// error too. Envelopes and slots the file does not hold are left empty; after
// an error `voice` holds what was read before it.
bool readVoice(const unsigned char* data, std::size_t size, Voice& voice, VoiceReadError& error);

// The error as one line: "PROBLEM (byte OFFSET)".
std::string describeVoiceReadError(const VoiceReadError& error);
