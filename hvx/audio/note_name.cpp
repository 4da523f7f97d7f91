#include "hvx/audio/note_name.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {
constexpr int kLowestNote = 0;      // C-1
constexpr int kHighestNote = 127;   // G9
constexpr int kReferenceNote = 69;  // A4
constexpr double kReferenceHertz = 440.0;

// Semitones above C of each letter, A first.
constexpr int kLetterSemitones[] = {9, 11, 0, 2, 4, 5, 7};
}  // namespace

bool noteFrequency(const std::string& name, double& hertz) {
  std::size_t at = 0;
  if (name.empty()) {
    return false;
  }
  const int letter = std::toupper(static_cast<unsigned char>(name[at++])) - 'A';
  if (letter < 0 || letter > 6) {
    return false;
  }
  int semitone = kLetterSemitones[letter];
  if (at < name.size() && (name[at] == '#' || name[at] == 'b')) {
    semitone += name[at++] == '#' ? 1 : -1;
  }
  const std::string octaveText = name.substr(at);
  int octave = 0;
  if (octaveText == "-1") {
    octave = -1;
  } else if (octaveText.size() == 1 && std::isdigit(static_cast<unsigned char>(octaveText[0]))) {
    octave = octaveText[0] - '0';
  } else {
    return false;
  }
  const int note = (octave + 1) * 12 + semitone;
  if (note < kLowestNote || note > kHighestNote) {
    return false;
  }
  hertz = kReferenceHertz * std::pow(2.0, static_cast<double>(note - kReferenceNote) / 12.0);
  return true;
}

bool nearestNote(double hertz, std::string& name, double& cents) {
  if (!(hertz > 0.0)) {
    return false;
  }
  const double semitones = 12.0 * std::log2(hertz / kReferenceHertz) + kReferenceNote;
  const long note = std::lround(semitones);
  if (note < kLowestNote || note > kHighestNote) {
    return false;
  }
  static const char* const kNames[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                       "F#", "G",  "G#", "A",  "A#", "B"};
  name = std::string(kNames[note % 12]) + std::to_string(note / 12 - 1);
  cents = 100.0 * (semitones - static_cast<double>(note));
  return true;
}

std::string describePitch(double hertz) {
  char text[64];
  std::string name;
  double cents = 0;
  if (!nearestNote(hertz, name, cents)) {
    std::snprintf(text, sizeof text, "%.2f Hz", hertz);
    return text;
  }
  const long whole = std::lround(cents);
  if (whole == 0) {
    std::snprintf(text, sizeof text, "%s (%.2f Hz)", name.c_str(), hertz);
  } else {
    std::snprintf(text, sizeof text, "%s %+ld cent%s (%.2f Hz)", name.c_str(), whole,
                  whole == 1 || whole == -1 ? "" : "s", hertz);
  }
  return text;
}
