#pragma once

#include <string>

// A word as the shell passes it on: as it is when it holds only characters
// the shell leaves alone, else in single quotes. A word starting with '-'
// gets "./" so that no program takes it for an option.
std::string shellWord(const std::string& word);
