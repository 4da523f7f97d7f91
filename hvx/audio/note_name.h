#pragma once

#include <string>

// The frequency of a note named like C4, F#3, Bb-1 or G9 in equal
// temperament with A4 = 440 Hz: a letter A..G (either case), an optional
// sharp '#' or flat 'b', and an octave from -1 to 9 (C4 is middle C). Notes
// from C-1 to G9 are accepted; false for anything else.
bool noteFrequency(const std::string& name, double& hertz);

// The note nearest to `hertz` (named as noteFrequency reads it, sharps for
// black keys) and how far from it `hertz` lies, in cents (-50..50). False
// outside C-1..G9.
bool nearestNote(double hertz, std::string& name, double& cents);

// "A4 +3 cents (441.23 Hz)", or "441.23 Hz" outside the named notes.
std::string describePitch(double hertz);
