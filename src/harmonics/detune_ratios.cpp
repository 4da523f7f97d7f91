#include "harmonics/detune_ratios.h"

#include "common/draw_divisor.h"
#include "common/random_source.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
constexpr int kLanes = 8;

// Low 32 bits of each lane's product, in the instructions every x86-64 has.
__m128i multiplyLanes(__m128i a, __m128i b) {
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_si128(a, 4), _mm_srli_si128(b, 4));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// Four whole per-mille values to ratios, with the bits detunedRatio() gives:
// a value below 2^17 times the per-mille constant's 24 significant bits is
// exact in double, so its only rounding is the one to float, and a float
// multiply rounds that same exact product once, to the same float.
void storeRatios(float* out, __m128i perMille) {
  const __m128 scale = _mm_set1_ps(static_cast<float>(kPerMille));
  _mm_storeu_ps(out, _mm_mul_ps(_mm_cvtepi32_ps(perMille), scale));
}

// Eight harmonics side by side: lane j walks harmonic first + j's own run of
// draws, which starts `points` draws after lane j - 1's, so each step gives
// one point of eight harmonics, a piece of a matrix row stored at once.
struct EightHarmonics {
  __m128i low;              // lanes 0..3: the generator states
  __m128i high;             // lanes 4..7
  __m128i numbers;          // harmonic numbers, 16 bits a lane
  std::uint32_t following;  // where harmonic first + 8's draws start

  // `state` is where harmonic `first`'s draws start.
  EightHarmonics(int first, std::uint32_t state, const RandomSource::Jump& oneHarmonic) {
    alignas(16) std::uint32_t starts[kLanes];
    starts[0] = state;
    for (int lane = 1; lane < kLanes; ++lane) {
      starts[lane] = oneHarmonic.from(starts[lane - 1]);
    }
    following = oneHarmonic.from(starts[kLanes - 1]);
    low = _mm_load_si128(reinterpret_cast<const __m128i*>(&starts[0]));
    high = _mm_load_si128(reinterpret_cast<const __m128i*>(&starts[4]));
    numbers = _mm_setr_epi16(static_cast<short>(first + 1), static_cast<short>(first + 2),
                             static_cast<short>(first + 3), static_cast<short>(first + 4),
                             static_cast<short>(first + 5), static_cast<short>(first + 6),
                             static_cast<short>(first + 7), static_cast<short>(first + 8));
  }
};

// Everything one step needs besides the lanes.
struct DetuneStep {
  __m128i multiplier;
  __m128i increment;
  __m128i drawMask;
  __m128i magic;
  __m128i divisor;
  __m128i shift;
  __m128i offset;

  DetuneStep(const DrawDivisor& reduce, std::int32_t bound)
      : multiplier(_mm_set1_epi32(static_cast<int>(RandomSource::detail::kMultiplier))),
        increment(_mm_set1_epi32(static_cast<int>(RandomSource::detail::kIncrement))),
        drawMask(_mm_set1_epi32(0x7FFF)),
        magic(_mm_set1_epi16(static_cast<short>(reduce.magic))),
        divisor(_mm_set1_epi16(static_cast<short>(reduce.divisor))),
        shift(_mm_cvtsi32_si128(reduce.shift)),
        // 1000 + remainder - bound stays within 900..1100, and times a
        // harmonic number up to 64 within 17 bits: 16-bit lanes, widened
        // for the product.
        offset(_mm_set1_epi16(static_cast<short>(1000 - bound))) {}

  // One draw on every lane, and the ratios it gives, stored at `out`.
  void operator()(EightHarmonics& lanes, float* out) const {
    lanes.low = _mm_add_epi32(multiplyLanes(lanes.low, multiplier), increment);
    lanes.high = _mm_add_epi32(multiplyLanes(lanes.high, multiplier), increment);
    const __m128i draws = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lanes.low, 16), drawMask),
                                          _mm_and_si128(_mm_srli_epi32(lanes.high, 16), drawMask));
    const __m128i quotients = _mm_srl_epi16(_mm_mulhi_epu16(draws, magic), shift);
    const __m128i remainders = _mm_sub_epi16(draws, _mm_mullo_epi16(quotients, divisor));
    const __m128i factors = _mm_add_epi16(remainders, offset);
    const __m128i productLow = _mm_mullo_epi16(factors, lanes.numbers);
    const __m128i productHigh = _mm_mulhi_epu16(factors, lanes.numbers);
    storeRatios(out, _mm_unpacklo_epi16(productLow, productHigh));
    storeRatios(out + 4, _mm_unpackhi_epi16(productLow, productHigh));
  }
};

// Sixteen harmonics at once when there are as many left: two independent
// sets of lanes, so that one set's multiply runs while the other's waits.
// Returns the first harmonic left to fill.
int fillInLanes(float (*ratio)[kMaxHarmonics], int points, int harmonics, std::int32_t bound) {
  const DetuneStep step(DrawDivisor(static_cast<std::uint32_t>(2 * bound + 1)), bound);
  const RandomSource::Jump oneHarmonic = RandomSource::jumpOf(static_cast<std::uint32_t>(points));
  std::uint32_t state = RandomSource::detail::state;
  int h = 0;
  for (; h + 2 * kLanes <= harmonics; h += 2 * kLanes) {
    EightHarmonics first(h, state, oneHarmonic);
    EightHarmonics second(h + kLanes, first.following, oneHarmonic);
    for (int p = 0; p < points; ++p) {
      step(first, &ratio[p][h]);
      step(second, &ratio[p][h + kLanes]);
    }
    state = second.following;
  }
  for (; h + kLanes <= harmonics; h += kLanes) {
    EightHarmonics lanes(h, state, oneHarmonic);
    for (int p = 0; p < points; ++p) {
      step(lanes, &ratio[p][h]);
    }
    state = lanes.following;
  }
  RandomSource::detail::state = state;
  return h;
}
#endif

}  // namespace

void fillDetunedRatios(float (*ratio)[kMaxHarmonics], int points, int harmonics,
                       std::int32_t bound) {
  if (points <= 0 || harmonics <= 0) {
    return;
  }
  int h = 0;
#if defined(__SSE2__)
  h = fillInLanes(ratio, points, harmonics, bound);
#endif
  const DrawDivisor reduce(static_cast<std::uint32_t>(2 * bound + 1));
  for (; h < harmonics; ++h) {
    for (int p = 0; p < points; ++p) {
      ratio[p][h] = detunedRatio(reduce.remainder(RandomSource::next()), bound, h + 1);
    }
  }
}
