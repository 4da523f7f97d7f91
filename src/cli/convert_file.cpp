#include "cli/converter.h"

int Converter::convertFile(const char* argument) {
  const int loaded = loadBitmap(argument);
  if (loaded != 0) {
    return loaded;  // the loader has said why
  }
  decimate();
  randomize();
  cutNoise();
  scaleAmplitudes();
  computeRatios();
  closeEnvelope();
  return writeVoice();  // it has said why when it failed
}
