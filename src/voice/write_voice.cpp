#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "cli/converter.h"
#include "common/fixed_constants.h"
#include "voice/voice.h"

namespace {

void reportWriteFailure(const Converter& converter, const VoiceWriter& writer) {
  std::fprintf(converter.log, "Could not write to \"%s\"\n", converter.outputPath);
  if (const char* left = writer.leftBehind()) {
    std::fprintf(converter.log, "Could not remove temporary file \"%s\"\n", left);
  }
}

void fillEnvelopes(const Converter& converter, EnvelopeSet& set) {
  const bool plateau = converter.plateauPercent != 0;
  const std::int32_t perPoint = breakpointsPerPoint(plateau);
  const std::int32_t count = converter.pointCount * perPoint;
  const double interval = static_cast<double>(converter.interval);
  const double plateauLength = static_cast<double>(converter.plateauPercent) * interval * kPercent;
  for (int h = 0; h < converter.harmonicCount; ++h) {
    Envelope& amplitude = set.amplitudeEnvelopes[h];
    Envelope& frequency = set.frequencyEnvelopes[h];
    amplitude.count = count;
    frequency.count = count;
    for (int p = 0; p < converter.pointCount; ++p) {
      // Each time comes from the point's index, never from a running sum.
      const double time = static_cast<double>(p) * interval;
      const int k = p * perPoint;
      amplitude.times[k] = static_cast<float>(time);
      amplitude.values[k] = converter.amplitude[p][h];
      frequency.times[k] = static_cast<float>(time);
      frequency.values[k] = converter.ratio[p][h];
      if (plateau) {
        const auto plateauEnd = static_cast<float>(plateauLength + time);
        amplitude.times[k + 1] = plateauEnd;
        amplitude.values[k + 1] = amplitude.values[k];
        frequency.times[k + 1] = plateauEnd;
        frequency.values[k + 1] = frequency.values[k];
      }
    }
  }
}

}  // namespace

int Converter::writeVoice() {
  VoiceWriter writer;
  if (!writer.open(outputPath)) {
    std::fprintf(log, "Could not write to \"%s\"\n", outputPath);
    writer.release();
    return kWriteFailed;
  }
  if (ratio[0][0] < 0.0f || std::isnan(ratio[0][0])) {
    computeRatios();
  }

  // Too large for comfort on the stack; one voice lives for one call.
  std::unique_ptr<Voice> voice(new (std::nothrow) Voice);
  if (!voice) {
    writer.release();
    writer.close();  // without its buffer the writer leaves the earlier voice
    reportWriteFailure(*this, writer);
    return kWriteFailed;
  }
  resetVoice(*voice);
  std::memcpy(voice->name, voiceName, sizeof voice->name);
  voice->reserved0 = 0;
  voice->loopStart = loopStart;
  voice->loopEnd = loopEnd;
  voice->reserved1 = 0.0f;
  voice->layerCount = 1;
  voice->setsPerLayer = 1;
  voice->sets[1].baseFrequency = kBaseFrequency;
  voice->auxLists[1].count = 0;
  fillEnvelopes(*this, voice->sets[1]);

  encodeVoice(*voice, writer);
  const bool written = writer.close();
  writer.release();
  if (!written) {
    reportWriteFailure(*this, writer);
    return kWriteFailed;
  }
  return 0;
}
