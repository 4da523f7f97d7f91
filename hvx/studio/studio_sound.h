#pragma once

#include <nlohmann/json.hpp>
#include <string>

// A sound given to the studio (uploaded, dropped or from the folder): the
// picture hvx analyze makes of it, with the bounds hvx analyze keeps, and
// what the page shows of it: the pitch (note, cents, Hz), the parts found,
// and the pitch to play the picture at.

// The one line for a file the studio reads as none of its kinds.
std::string noKindSentence(const std::string& fileName);

// Whether `bytes` are a whole voice file.
bool isVoiceUpload(const std::string& bytes);

// Whether `bytes` open as a sound (by their container, not their name).
bool isSoundUpload(const std::string& bytes);

// False with a sentence in `problem` when the sound cannot be analysed.
bool analyseSoundUpload(const std::string& bytes, std::string& bitmap, nlohmann::json& facts,
                        std::string& problem);
