#include "harmonics/detune_draws.h"

#include "common/draw_divisor.h"
#include "common/random_source.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// Low 32 bits of each lane's product, in the instructions every x86-64 has.
__m128i multiplyLanes(__m128i a, __m128i b) {
  const __m128i even = _mm_mul_epu32(a, b);
  const __m128i odd = _mm_mul_epu32(_mm_srli_si128(a, 4), _mm_srli_si128(b, 4));
  return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// Eight generator states side by side: lanes hold states k+1 .. k+8, and one
// jump of eight steps moves every lane on at once, so no lane waits for the
// one before it.
void drawBlocks(std::uint16_t* remainders, int blocks, const DrawDivisor& reduce) {
  std::uint32_t states[8];
  std::uint32_t state = RandomSource::detail::state;
  std::uint32_t jumpMultiplier = 1u;
  std::uint32_t jumpIncrement = 0u;
  for (std::uint32_t& lane : states) {
    state = state * RandomSource::detail::kMultiplier + RandomSource::detail::kIncrement;
    lane = state;
    jumpIncrement = jumpIncrement * RandomSource::detail::kMultiplier + RandomSource::detail::kIncrement;
    jumpMultiplier *= RandomSource::detail::kMultiplier;
  }
  __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&states[0]));
  __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&states[4]));
  const __m128i multiplier = _mm_set1_epi32(static_cast<int>(jumpMultiplier));
  const __m128i increment = _mm_set1_epi32(static_cast<int>(jumpIncrement));
  const __m128i drawMask = _mm_set1_epi32(0x7FFF);
  const __m128i magic = _mm_set1_epi16(static_cast<short>(reduce.magic));
  const __m128i divisor = _mm_set1_epi16(static_cast<short>(reduce.divisor));
  const __m128i shift = _mm_cvtsi32_si128(reduce.shift);
  for (int block = 0; block < blocks; ++block) {
    const __m128i draws = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(low, 16), drawMask),
                                          _mm_and_si128(_mm_srli_epi32(high, 16), drawMask));
    const __m128i quotients = _mm_srl_epi16(_mm_mulhi_epu16(draws, magic), shift);
    const __m128i rest = _mm_sub_epi16(draws, _mm_mullo_epi16(quotients, divisor));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(remainders + 8 * block), rest);
    low = _mm_add_epi32(multiplyLanes(low, multiplier), increment);
    high = _mm_add_epi32(multiplyLanes(high, multiplier), increment);
  }
}
#endif

}  // namespace

void drawRemainders(std::uint16_t* remainders, int count, std::uint32_t divisor) {
  const DrawDivisor reduce(divisor);
  int done = 0;
#if defined(__SSE2__)
  const int blocks = count / 8;
  drawBlocks(remainders, blocks, reduce);
  done = 8 * blocks;
  RandomSource::skip(static_cast<std::uint32_t>(done));
#endif
  for (; done < count; ++done) {
    remainders[done] = static_cast<std::uint16_t>(reduce.remainder(RandomSource::next()));
  }
}
