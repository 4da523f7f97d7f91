#include "cli/converter.h"

#include <cstring>

#include "common/random_source.h"
#include "voice/voice_record.h"

namespace {
void setText(char (&field)[kMaxPathLength + 1], const char* text) {
  std::strncpy(field, text, kMaxPathLength);
  field[kMaxPathLength] = '\0';
}
}  // namespace

Converter::Converter() : log(stderr), summary(stdout) {
  setText(inputPath, "dummy.bmp");
  setText(outputPath, "output.hvx");
  setText(voiceName, "Test Voice");
  // Pictures of one row read rows they did not load: give those a defined
  // value rather than whatever memory held.
  std::memset(amplitude, 0, sizeof amplitude);
  std::memset(ratio, 0, sizeof ratio);
  RandomSource::seedFromClock();
}

Converter::~Converter() = default;
