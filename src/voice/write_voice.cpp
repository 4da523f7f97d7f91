#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "cli/converter.h"
#include "common/fixed_constants.h"
#include "voice/voice.h"
#include "voice/voice_layout.h"
#include "voice/voice_record.h"
#include "voice/voice_writer.h"

namespace {

void reportWriteFailure(const Converter& converter, const VoiceWriter& writer) {
  say(converter.log, "Could not write to \"%s\"\n", converter.outputPath);
  if (const char* left = writer.leftBehind()) {
    say(converter.log, "Could not remove temporary file \"%s\"\n", left);
  }
}

using Matrix = float[kMaxPoints][kMaxHarmonics];

// A voice of one layer of one set, the only layout the converter writes.
constexpr int kConverterSlot = voiceSlot(0, 0, 1);

// The envelopes' values are the matrix's columns: envelope h gets column h,
// each point held for its breakpoints. Plain copies, cell by cell.
void fillColumns(const Matrix& matrix, int points, int harmonics, bool plateau,
                 Envelope* envelopes) {
  for (int h = 0; h < harmonics; ++h) {
    float* values = envelopes[h].values;
    if (plateau) {
      for (int p = 0; p < points; ++p) {
        values[2 * p] = matrix[p][h];
        values[2 * p + 1] = matrix[p][h];
      }
    } else {
      for (int p = 0; p < points; ++p) {
        values[p] = matrix[p][h];
      }
    }
  }
}

#if defined(__SSE2__)
// The same without plateaus, four points by four harmonics at a time: each
// block is loaded as four rows and stored as four columns.
void transposeColumns(const Matrix& matrix, int points, int harmonics, Envelope* envelopes) {
  const int blockPoints = points - points % 4;
  const int blockHarmonics = harmonics - harmonics % 4;
  for (int p = 0; p < blockPoints; p += 4) {
    for (int h = 0; h < blockHarmonics; h += 4) {
      __m128 row0 = _mm_loadu_ps(&matrix[p][h]);
      __m128 row1 = _mm_loadu_ps(&matrix[p + 1][h]);
      __m128 row2 = _mm_loadu_ps(&matrix[p + 2][h]);
      __m128 row3 = _mm_loadu_ps(&matrix[p + 3][h]);
      _MM_TRANSPOSE4_PS(row0, row1, row2, row3);
      _mm_storeu_ps(&envelopes[h].values[p], row0);
      _mm_storeu_ps(&envelopes[h + 1].values[p], row1);
      _mm_storeu_ps(&envelopes[h + 2].values[p], row2);
      _mm_storeu_ps(&envelopes[h + 3].values[p], row3);
    }
  }
  // The edges that do not fill a block.
  for (int h = 0; h < harmonics; ++h) {
    for (int p = h < blockHarmonics ? blockPoints : 0; p < points; ++p) {
      envelopes[h].values[p] = matrix[p][h];
    }
  }
}
#endif

void fillValues(const Matrix& matrix, int points, int harmonics, bool plateau,
                Envelope* envelopes) {
#if defined(__SSE2__)
  if (!plateau) {
    transposeColumns(matrix, points, harmonics, envelopes);
    return;
  }
#endif
  fillColumns(matrix, points, harmonics, plateau, envelopes);
}

// Every harmonic shares one list of breakpoint times, each from its point's
// index, never from a running sum. The record keeps them from the voice
// before; they are written again only when this voice needs more of them or
// other ones.
void fillTimes(const Converter& converter, std::int32_t count, VoiceRecord& record) {
  std::uint32_t intervalBits = 0;
  std::memcpy(&intervalBits, &converter.interval, sizeof intervalBits);
  const bool held = intervalBits == record.intervalBits &&
                    converter.plateauPercent == record.plateauPercent &&
                    count <= record.timesHeld && converter.harmonicCount <= record.harmonicsHeld;
  if (held) {
    return;
  }
  const bool plateau = converter.plateauPercent != 0;
  const std::int32_t perPoint = breakpointsPerPoint(plateau);
  float times[kEnvelopeCapacity];
  const double interval = static_cast<double>(converter.interval);
  const double plateauLength = static_cast<double>(converter.plateauPercent) * interval * kPercent;
  for (int p = 0; p * perPoint < count; ++p) {
    const double time = static_cast<double>(p) * interval;
    times[p * perPoint] = static_cast<float>(time);
    if (plateau) {
      times[p * perPoint + 1] = static_cast<float>(plateauLength + time);
    }
  }
  const auto timeBytes = sizeof(float) * static_cast<std::size_t>(count);
  EnvelopeSet& set = record.voice.sets[kConverterSlot];
  for (int h = 0; h < converter.harmonicCount; ++h) {
    std::memcpy(set.amplitudeEnvelopes[h].times, times, timeBytes);
    std::memcpy(set.frequencyEnvelopes[h].times, times, timeBytes);
  }
  record.intervalBits = intervalBits;
  record.plateauPercent = converter.plateauPercent;
  record.timesHeld = count;
  record.harmonicsHeld = converter.harmonicCount;
}

void fillEnvelopes(const Converter& converter, VoiceRecord& record) {
  const bool plateau = converter.plateauPercent != 0;
  const int points = converter.pointCount;
  const std::int32_t count = points * breakpointsPerPoint(plateau);
  // No picture gives other counts; such a voice gets empty envelopes.
  const bool fits = count >= 0 && count <= kEnvelopeCapacity && converter.harmonicCount >= 0 &&
                    converter.harmonicCount <= kVoiceHarmonics;
  EnvelopeSet& set = record.voice.sets[kConverterSlot];
  for (int h = 0; h < kVoiceHarmonics; ++h) {
    const std::int32_t used = fits && h < converter.harmonicCount ? count : 0;
    set.amplitudeEnvelopes[h].count = used;
    set.frequencyEnvelopes[h].count = used;
  }
  if (!fits) {
    return;
  }
  fillTimes(converter, count, record);
  fillValues(converter.amplitude, points, converter.harmonicCount, plateau, set.amplitudeEnvelopes);
  fillValues(converter.ratio, points, converter.harmonicCount, plateau, set.frequencyEnvelopes);
}

}  // namespace

const Voice* Converter::buildVoice() {
  if (ratio[0][0] < 0.0f || std::isnan(ratio[0][0])) {
    computeRatios();
  }
  if (!voiceRecord) {
    voiceRecord.reset(new (std::nothrow) VoiceRecord);
    if (!voiceRecord) {
      return nullptr;
    }
    resetVoiceCounts(voiceRecord->voice);
  }
  // Every field the file holds is set below, the counts by fillEnvelopes();
  // the unused tails of the envelopes and the other slot are never written.
  Voice* voice = &voiceRecord->voice;
  std::memcpy(voice->name, voiceName, sizeof voice->name);
  voice->reserved0 = 0;
  voice->loopStart = loopStart;
  voice->loopEnd = loopEnd;
  voice->reserved1 = 0.0f;
  voice->layerCount = 1;
  voice->setsPerLayer = 1;
  voice->sets[kConverterSlot].baseFrequency = kBaseFrequency;
  voice->auxLists[kConverterSlot].count = 0;
  fillEnvelopes(*this, *voiceRecord);
  return voice;
}

int Converter::writeVoice() {
  VoiceWriter writer;
  if (!writer.open(outputPath)) {
    say(log, "Could not write to \"%s\"\n", outputPath);
    writer.release();
    return kWriteFailed;
  }
  const Voice* voice = buildVoice();
  if (voice == nullptr) {
    writer.release();
    writer.close();  // without its buffer the writer leaves the earlier voice
    reportWriteFailure(*this, writer);
    return kWriteFailed;
  }
  // The record outlives close(): the writer may write its envelopes from it.
  writer.borrowRecords();
  encodeVoice(*voice, writer);
  const bool written = writer.close();
  writer.release();
  if (!written) {
    reportWriteFailure(*this, writer);
    return kWriteFailed;
  }
  return 0;
}
