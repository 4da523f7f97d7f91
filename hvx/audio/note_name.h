#pragma once

#include <string>

// The frequency of a note named like C4, F#3, Bb-1 or G9 in equal
// temperament with A4 = 440 Hz: a letter A..G (either case), an optional
// sharp '#' or flat 'b', and an octave from -1 to 9 (C4 is middle C). Notes
// from C-1 to G9 are accepted; false for anything else.
bool noteFrequency(const std::string& name, double& hertz);
