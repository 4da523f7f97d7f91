#include "hvx/studio/tonepix_recipe.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "cli/option_table.h"
#include "common/fixed_constants.h"
#include "hvx/picture/picture_prepare.h"
#include "hvx/studio/tonepix_levels.h"
#include "hvx/studio/tonepix_timing.h"
#include "image/bitmap_format.h"
#include "voice/voice_layout.h"
#include "voice/voice_reader.h"

namespace {

// tonepix writes one layer of one set, which lives in this slot.
constexpr int kToneSlot = voiceSlot(0, 0, 1);

// The conversion the voice's layout points to.
struct Shape {
  int perPoint = 1;        // breakpoints per envelope point: 2 with plateaus
  int plateauPercent = 0;  // 0: off
  float interval = 0.0f;
  int points = 0;     // envelope points, the two closing ones included
  int heardRows = 0;  // picture rows the voice holds: points 0 .. heardRows - 1
  int rows = 0;       // picture rows tonepix was given
  int loopPoint = 0;
  int harmonics = 0;
};

std::uint32_t bitsOf(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

bool sameBits(float a, float b) { return bitsOf(a) == bitsOf(b); }

// The envelope time of a point, as tonepix computes it: from the index, in double.
float pointTime(int point, float interval) {
  return static_cast<float>(static_cast<double>(point) * static_cast<double>(interval));
}

float plateauEnd(int point, float interval, int percent) {
  const double length = static_cast<double>(percent) * static_cast<double>(interval) * kPercent;
  return static_cast<float>(length + static_cast<double>(point) * static_cast<double>(interval));
}

// The first `harmonics` envelopes of both kinds hold `count` breakpoints, the
// others none.
bool findHarmonics(const EnvelopeSet& set, int& harmonics, int& count) {
  count = set.amplitudeEnvelopes[0].count;
  harmonics = 0;
  while (harmonics < kVoiceHarmonics && set.amplitudeEnvelopes[harmonics].count == count &&
         set.frequencyEnvelopes[harmonics].count == count) {
    ++harmonics;
  }
  for (int h = harmonics; h < kVoiceHarmonics; ++h) {
    if (set.amplitudeEnvelopes[h].count != 0 || set.frequencyEnvelopes[h].count != 0) {
      return false;
    }
  }
  return count > 0 && harmonics > 0;
}

// Every envelope shares the times tonepix derives from the interval (and the
// plateau length).
bool timesMatch(const EnvelopeSet& set, const Shape& shape) {
  float times[kEnvelopeCapacity];
  for (int p = 0; p < shape.points; ++p) {
    times[p * shape.perPoint] = pointTime(p, shape.interval);
    if (shape.perPoint == 2) {
      times[2 * p + 1] = plateauEnd(p, shape.interval, shape.plateauPercent);
    }
  }
  const auto bytes = sizeof(float) * static_cast<std::size_t>(shape.points * shape.perPoint);
  for (int h = 0; h < shape.harmonics; ++h) {
    if (std::memcmp(set.amplitudeEnvelopes[h].times, times, bytes) != 0 ||
        std::memcmp(set.frequencyEnvelopes[h].times, times, bytes) != 0) {
      return false;
    }
  }
  return true;
}

// Timing and loop of a voice of `count` breakpoints per envelope, read as
// with or without plateaus.
bool findShape(const Voice& voice, int harmonics, int count, bool plateau, Shape& shape) {
  const EnvelopeSet& set = voice.sets[kToneSlot];
  shape.perPoint = breakpointsPerPoint(plateau);
  shape.harmonics = harmonics;
  if (count % shape.perPoint != 0) {
    return false;
  }
  shape.points = count / shape.perPoint;
  if (shape.points < 1 + kClosingPoints) {
    return false;
  }
  const float* times = set.amplitudeEnvelopes[0].times;
  shape.interval = times[shape.perPoint];  // point 1 starts at one interval
  shape.plateauPercent = 0;
  if (plateau) {
    const auto high = static_cast<int>(findToneOption('p')->high);
    for (int percent = 1; percent <= high && shape.plateauPercent == 0; ++percent) {
      if (sameBits(plateauEnd(0, shape.interval, percent), times[1])) {
        shape.plateauPercent = percent;
      }
    }
    if (shape.plateauPercent == 0) {
      return false;
    }
  }
  if (!timesMatch(set, shape)) {
    return false;
  }
  // A picture too tall for the store loses its last rows to the closing
  // points; only its loop point then tells how tall it was.
  shape.heardRows = shape.points - kClosingPoints;
  const int full = kMaxPoints / shape.perPoint;
  const int tallest = shape.points < full ? shape.heardRows : full;
  for (int rows = shape.heardRows; rows <= tallest; ++rows) {
    const int loopPoint = rows / 4 + 1;
    if (sameBits(voice.loopStart, pointTime(loopPoint, shape.interval)) &&
        sameBits(voice.loopEnd, pointTime(shape.heardRows, shape.interval))) {
      shape.rows = rows;
      shape.loopPoint = loopPoint;
      return true;
    }
  }
  return false;
}

// What envelope `envelope` holds at `point`, both plateau breakpoints alike;
// false when they differ.
bool pointValue(const Envelope& envelope, const Shape& shape, int point, float& value) {
  value = envelope.values[point * shape.perPoint];
  return shape.perPoint == 1 || sameBits(value, envelope.values[point * shape.perPoint + 1]);
}

// Ratios exactly h + 1 (no detune), the loop's end a copy of its start, a
// silent release. A one-row picture's loop point is a row it never loaded:
// silent, with ratio 0.
bool closingMatches(const EnvelopeSet& set, const Shape& shape) {
  const int loopEnd = shape.heardRows;
  const bool loopLoaded = shape.loopPoint < shape.heardRows;
  for (int h = 0; h < shape.harmonics; ++h) {
    const Envelope& amplitudes = set.amplitudeEnvelopes[h];
    const Envelope& ratios = set.frequencyEnvelopes[h];
    const auto harmonic = static_cast<float>(h + 1);
    for (int p = 0; p < shape.points; ++p) {
      float ratio = 0.0f;
      float amplitude = 0.0f;
      if (!pointValue(ratios, shape, p, ratio) || !pointValue(amplitudes, shape, p, amplitude)) {
        return false;
      }
      const bool unloaded = p == loopEnd && !loopLoaded;
      if (!sameBits(ratio, unloaded ? 0.0f : harmonic)) {
        return false;
      }
      float expected = amplitude;  // a picture row: any level, checked later
      if (p == loopEnd) {
        expected = 0.0f;
        if (loopLoaded && !pointValue(amplitudes, shape, shape.loopPoint, expected)) {
          return false;
        }
      } else if (p > loopEnd) {
        expected = 0.0f;
      }
      if (!sameBits(amplitude, expected)) {
        return false;
      }
    }
  }
  return true;
}

// The picture's grey levels and the ceiling that gives back every heard
// amplitude. A cell a noise floor cut reads as black, so no floor is needed.
bool findLevels(const EnvelopeSet& set, const Shape& shape, int& ceiling,
                std::vector<std::uint8_t>& grid) {
  std::vector<std::uint32_t> values;
  values.reserve(static_cast<std::size_t>(shape.heardRows * shape.harmonics));
  for (int h = 0; h < shape.harmonics; ++h) {
    for (int p = 0; p < shape.heardRows; ++p) {
      values.push_back(bitsOf(set.amplitudeEnvelopes[h].values[p * shape.perPoint]));
    }
  }
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  if (values.size() > ToneLevelTable().size()) {
    return false;
  }
  ToneLevelTable table{};
  ceiling = findToneCeiling(values, table);
  if (ceiling == 0) {
    return false;
  }
  grid.assign(static_cast<std::size_t>(shape.rows) * kPictureWidth, 0);
  for (int h = 0; h < shape.harmonics; ++h) {
    for (int p = 0; p < shape.heardRows; ++p) {
      const std::uint32_t value = bitsOf(set.amplitudeEnvelopes[h].values[p * shape.perPoint]);
      const auto level = std::lower_bound(table.begin(), table.end(), value) - table.begin();
      grid[static_cast<std::size_t>(p) * kPictureWidth + static_cast<std::size_t>(h)] =
          static_cast<std::uint8_t>(level);
    }
  }
  return true;
}

// Everything but the final comparison: the picture and options the voice's
// layout and values point to, its breakpoints read as with or without
// plateaus.
bool deriveRecipe(const Voice& voice, bool plateau, TonepixRecipe& recipe) {
  if (voice.layerCount != 1 || voice.setsPerLayer != 1) {
    return false;
  }
  const EnvelopeSet& set = voice.sets[kToneSlot];
  int harmonics = 0;
  int count = 0;
  if (!findHarmonics(set, harmonics, count)) {
    return false;
  }
  Shape shape;
  if (!findShape(voice, harmonics, count, plateau, shape) || !closingMatches(set, shape)) {
    return false;
  }
  int ceiling = 0;
  PreparedPicture picture;
  if (!findLevels(set, shape, ceiling, picture.grid)) {
    return false;
  }
  picture.rows = shape.rows;
  ToneOptions tone;
  tone.whole('f') = 0;  // every ratio is exact
  tone.whole('n') = ceiling;
  tone.whole('t') = shape.harmonics;
  tone.whole('p') = shape.plateauPercent;
  if (!chooseToneTiming(shape.interval, tone) || !nonDefaultOptionTexts(tone, recipe.options)) {
    return false;
  }
  recipe.tone = tone;
  recipe.bitmap = encodePreparedBitmap(picture);
  return true;
}

}  // namespace

bool findTonepixRecipe(const std::string& voiceFile, const std::string& name,
                       TonepixRecipe& recipe) {
  auto voice = std::make_unique<Voice>();
  VoiceReadError error;
  if (!readVoice(reinterpret_cast<const unsigned char*>(voiceFile.data()), voiceFile.size(), *voice,
                 error)) {
    return false;
  }
  TonepixRecipe found;
  if (!deriveRecipe(*voice, false, found) && !deriveRecipe(*voice, true, found)) {
    return false;
  }
  // The proof: tonepix's own conversion of the picture, byte for byte. No
  // random stage is on, so the seed cannot matter.
  const ToneConversion made = convertLikeTonepix(found.bitmap, name, found.tone, 0);
  if (!made.converted || made.usedGenerator || made.voice != voiceFile) {
    return false;
  }
  recipe = found;
  return true;
}
