#include "cli/converter.h"

void Converter::runStages() {
  decimate();
  randomize();
  cutNoise();
  scaleAmplitudes();
  computeRatios();
  closeEnvelope();
}

int Converter::convertFile(const char* argument) {
  const int loaded = loadBitmap(argument);
  if (loaded != 0) {
    return loaded;  // the loader has said why
  }
  runStages();
  return writeVoice();  // it has said why when it failed
}
