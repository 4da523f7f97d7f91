#include "cli/converter.h"
#include "common/fixed_constants.h"
#include "common/random_source.h"
#include "harmonics/detune_draws.h"

namespace {

constexpr std::int32_t kMaxDetune = kMaxDetunePerMille;

// Every ratio one detune bound can give: ((1000 + d) * harmonic) * 0.001 for
// each harmonic and each draw's remainder. The options fix the bound for the
// whole run, so the table is made once and each cell is then a look-up.
struct DetuneTable {
  std::int32_t bound = -1;
  float ratios[kMaxHarmonics][2 * kMaxDetune + 1];
};

const DetuneTable& detuneTableFor(std::int32_t bound) {
  static DetuneTable table;
  if (table.bound != bound) {
    table.bound = bound;
    for (int h = 0; h < kMaxHarmonics; ++h) {
      for (std::int32_t draw = 0; draw <= 2 * bound; ++draw) {
        const std::int32_t perMille = (1000 + draw - bound) * (h + 1);
        table.ratios[h][draw] = static_cast<float>(static_cast<double>(perMille) * kPerMille);
      }
    }
  }
  return table;
}

}  // namespace

int Converter::computeRatios() {
  // Harmonics outer, points inner: the opposite of the shaping stages, and it
  // fixes which draw detunes which cell.
  if (freqDelta == 0) {
    for (int h = 0; h < harmonicCount; ++h) {
      for (int p = 0; p < pointCount; ++p) {
        ratio[p][h] = static_cast<float>(h + 1);
      }
    }
    return 0;
  }
  if (freqDelta > 0 && freqDelta <= kMaxDetune) {
    const DetuneTable& table = detuneTableFor(freqDelta);
    // Every draw first, in order, then each cell's ratio by look-up.
    const int points = pointCount < 0 ? 0 : pointCount;
    const int harmonics = harmonicCount < 0 ? 0 : harmonicCount;
    std::uint16_t draws[kMaxPoints * kMaxHarmonics];
    if (points > kMaxPoints || harmonics > kMaxHarmonics) {
      return 0;  // no picture gives such counts
    }
    drawRemainders(draws, points * harmonics, static_cast<std::uint32_t>(2 * freqDelta + 1));
    const std::uint16_t* draw = draws;
    for (int h = 0; h < harmonics; ++h) {
      const float* ratios = table.ratios[h];
      for (int p = 0; p < points; ++p) {
        ratio[p][h] = ratios[*draw++];
      }
    }
    return 0;
  }
  // A bound the options never give: the arithmetic as it stands.
  for (int h = 0; h < harmonicCount; ++h) {
    const std::int32_t harmonic = h + 1;
    for (int p = 0; p < pointCount; ++p) {
      const std::int32_t draw = RandomSource::next() % (2 * freqDelta + 1);
      const std::int32_t perMille = (1000 + draw - freqDelta) * harmonic;
      ratio[p][h] = static_cast<float>(static_cast<double>(perMille) * kPerMille);
    }
  }
  return 0;
}
