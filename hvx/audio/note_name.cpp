#include "hvx/audio/note_name.h"

#include <cctype>
#include <cmath>

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
