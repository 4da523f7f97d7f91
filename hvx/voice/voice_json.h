#pragma once

#include <nlohmann/json.hpp>

#include "voice/voice.h"

// JSON that keeps its keys in the order written and whose numbers are single precision, like every
// number in a voice file, so that each prints as the shortest text that reads back to the same
// bits.
using VoiceJson = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                       std::int64_t, std::uint64_t, float>;

// The whole decoded voice: header, and for every set it holds every
// harmonic's amplitude and frequency envelope (times and values).
VoiceJson voiceToJson(const Voice& voice);
