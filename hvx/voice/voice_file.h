#pragma once

#include <string>

#include "voice/voice.h"

// Reads and decodes the voice file at `path`. False with one line saying what
// is wrong (including the byte offset for a malformed file) otherwise. Files
// larger than any voice can be are refused before they are read.
bool loadVoiceFile(const std::string& path, Voice& voice, std::string& problem);
