#pragma once

#include <string>

#include "voice/voice.h"

// Reads and decodes the voice file at `path`. False with one line saying what
// is wrong (including the byte offset for a malformed file) otherwise. Files
// larger than any voice can be are refused before they are read.
bool loadVoiceFile(const std::string& path, Voice& voice, std::string& problem);

// The name a voice holds, without its padding (it may fill all 64 bytes).
std::string voiceNameOf(const Voice& voice);

// The voice's file bytes, as tonepix writes them; empty when they cannot be
// assembled.
std::string encodeVoiceFile(const Voice& voice);

// Writes the voice to `path` through hvx's one safe write. False with one
// line (the path not included) in `error`.
bool writeVoiceFile(const std::string& path, const Voice& voice, std::string& error);
