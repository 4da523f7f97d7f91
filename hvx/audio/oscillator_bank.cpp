#include "hvx/audio/oscillator_bank.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#if defined(__x86_64__) || defined(__i386__)
// GCC 12's AVX-512 casts and extractions start from an undefined vector,
// which it then warns about as maybe uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define HVX_OSCILLATORS_X86 1
#endif

namespace {
// Samples summed in one pass over the bank: their lanes stay in L1.
constexpr int kChunk = 128;
// Frequency changes (radians per sample) small enough to turn the step by,
// and how many such turns before the step is computed afresh.
constexpr double kSmallChange = 1.0 / 64.0;
constexpr int kExactEvery = 32;
}  // namespace

OscillatorBank::OscillatorBank(std::size_t count)
    : lanes_((count < kCapacity ? count : kCapacity) + kLanes - 1) {
  lanes_ -= lanes_ % kLanes;
  for (std::size_t i = 0; i < kCapacity; ++i) {
    cos_[i] = 1.0f;
    sin_[i] = 0.0f;
    stepCos_[i] = 1.0f;
    stepSin_[i] = 0.0f;
    amplitude_[i] = 0.0f;
    amplitudeStep_[i] = 0.0f;
    radians_[i] = 0.0;
    exactCos_[i] = 1.0;
    exactSin_[i] = 0.0;
    stepsSinceExact_[i] = 0;
    newRadians_[i] = 0.0;
    changed_[i] = 0;
  }
}

namespace {

// The steps of `count` oscillators turned from `from` to `to` radians per
// sample: the step's cosine and sine turned by those of the change, found by
// series, exact in double for a change below kSmallChange (used for no other).
// The double rounding this adds is far below the float the step is kept in,
// and a step computed afresh every kExactEvery changes keeps it from adding
// up. A plain loop over all oscillators, which the compiler vectorises: the
// same operations in the same order give the same results in any vector.
inline __attribute__((always_inline)) void turnSteps(
    const double* __restrict from, const double* __restrict to, const double* __restrict cos,
    const double* __restrict sin, double* __restrict turnedCos, double* __restrict turnedSin,
    std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const double change = to[i] - from[i];
    const double d2 = change * change;
    const double cosChange =
        1.0 - d2 * (1.0 / 2) *
                  (1.0 - d2 * (1.0 / 12) * (1.0 - d2 * (1.0 / 30) * (1.0 - d2 * (1.0 / 56))));
    const double sinChange =
        change * (1.0 - d2 * (1.0 / 6) * (1.0 - d2 * (1.0 / 20) * (1.0 - d2 * (1.0 / 42))));
    turnedCos[i] = cos[i] * cosChange - sin[i] * sinChange;
    turnedSin[i] = sin[i] * cosChange + cos[i] * sinChange;
  }
}

#ifdef HVX_OSCILLATORS_X86
__attribute__((target("avx"))) void turnStepsAvx(const double* from, const double* to,
                                                 const double* cos, const double* sin,
                                                 double* turnedCos, double* turnedSin,
                                                 std::size_t count) {
  turnSteps(from, to, cos, sin, turnedCos, turnedSin, count);
}

__attribute__((target("avx512f"))) void turnStepsAvx512(const double* from, const double* to,
                                                        const double* cos, const double* sin,
                                                        double* turnedCos, double* turnedSin,
                                                        std::size_t count) {
  turnSteps(from, to, cos, sin, turnedCos, turnedSin, count);
}
#endif

}  // namespace

void OscillatorBank::applyFrequencies(Path path) {
  double turnedCos[kCapacity];
  double turnedSin[kCapacity];
#ifdef HVX_OSCILLATORS_X86
  if (path == Path::kAvx512) {
    turnStepsAvx512(radians_, newRadians_, exactCos_, exactSin_, turnedCos, turnedSin, lanes_);
  } else if (path == Path::kAvx2) {
    turnStepsAvx(radians_, newRadians_, exactCos_, exactSin_, turnedCos, turnedSin, lanes_);
  } else {
    turnSteps(radians_, newRadians_, exactCos_, exactSin_, turnedCos, turnedSin, lanes_);
  }
#else
  (void)path;
  turnSteps(radians_, newRadians_, exactCos_, exactSin_, turnedCos, turnedSin, lanes_);
#endif
  for (std::size_t i = 0; i < lanes_; ++i) {
    const double change = newRadians_[i] - radians_[i];
    if (changed_[i] == 0 || change == 0.0) {
      continue;
    }
    radians_[i] = newRadians_[i];
    if (std::fabs(change) < kSmallChange && stepsSinceExact_[i] < kExactEvery) {
      exactCos_[i] = turnedCos[i];
      exactSin_[i] = turnedSin[i];
      ++stepsSinceExact_[i];
    } else {
      exactCos_[i] = std::cos(radians_[i]);
      exactSin_[i] = std::sin(radians_[i]);
      stepsSinceExact_[i] = 0;
    }
    stepCos_[i] = static_cast<float>(exactCos_[i]);
    stepSin_[i] = static_cast<float>(exactSin_[i]);
  }
}

// Rounding in the rotations slowly changes the magnitude; each path puts it
// back to 1 in double, the vector ones with the same correctly rounded square
// roots and divisions as the scalar one, so that all give the same phases.
void OscillatorBank::restoreMagnitudesScalar() {
  for (std::size_t i = 0; i < lanes_; ++i) {
    if (changed_[i] != 0) {
      const double c = static_cast<double>(cos_[i]);
      const double s = static_cast<double>(sin_[i]);
      const double magnitude = std::sqrt(c * c + s * s);
      cos_[i] = static_cast<float>(c / magnitude);
      sin_[i] = static_cast<float>(s / magnitude);
      changed_[i] = 0;
    }
  }
}

void OscillatorBank::run(float* out, int samples) { run(out, samples, Path::kAvx512); }

bool OscillatorBank::supports(Path path) {
#ifdef HVX_OSCILLATORS_X86
  switch (path) {
    case Path::kScalar:
    case Path::kSse2:
      return true;
    case Path::kAvx2:
      return __builtin_cpu_supports("avx2");
    case Path::kAvx512:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f");
  }
  return false;
#else
  return path == Path::kScalar;
#endif
}

void OscillatorBank::run(float* out, int samples, Path path) {
  // The path asked for, or the fastest below it this processor has.
  while (!supports(path)) {
    path = static_cast<Path>(static_cast<int>(path) - 1);
  }
  applyFrequencies(path);
#ifdef HVX_OSCILLATORS_X86
  if (path == Path::kAvx512) {
    restoreMagnitudesAvx512();
  } else if (path == Path::kAvx2) {
    restoreMagnitudesAvx();
  } else if (path != Path::kScalar) {
    restoreMagnitudesSse2();
  } else {
    restoreMagnitudesScalar();
  }
#else
  restoreMagnitudesScalar();
#endif
  for (int done = 0; done < samples; done += kChunk) {
    const int count = std::min(kChunk, samples - done);
#ifdef HVX_OSCILLATORS_X86
    if (path == Path::kAvx512) {
      runAvx512(out + done, count);
      continue;
    }
    if (path == Path::kAvx2) {
      runAvx2(out + done, count);
      continue;
    }
    if (path != Path::kScalar) {
      runSse2(out + done, count);
      continue;
    }
#endif
    (void)path;
    runScalar(out + done, count);
  }
}

void OscillatorBank::runScalar(float* out, int samples) {
  for (int n = 0; n < samples; ++n) {
    float lane[kLanes] = {};
    for (std::size_t base = 0; base < lanes_; base += kLanes) {
      for (std::size_t j = 0; j < kLanes; ++j) {
        const std::size_t i = base + j;
        const float c = cos_[i];
        const float s = sin_[i];
        lane[j] += amplitude_[i] * s;
        cos_[i] = c * stepCos_[i] - s * stepSin_[i];
        sin_[i] = c * stepSin_[i] + s * stepCos_[i];
        amplitude_[i] += amplitudeStep_[i];
      }
    }
    float sum = 0.0f;
    for (float value : lane) {
      sum += value;
    }
    out[n] = sum;
  }
}

#ifdef HVX_OSCILLATORS_X86

namespace {

// The oscillators from `first` on, as the vector paths see them.
struct Lanes {
  float* cos;
  float* sin;
  float* amplitude;
  const float* stepCos;
  const float* stepSin;
  const float* amplitudeStep;
};

// Turns `K` vectors of four oscillators for `samples` samples, adding each
// sample's values into `sums` (eight lanes a sample; vector k goes to lanes
// 4 * (k % 2) on). Each oscillator stays in registers for the whole chunk,
// and the vectors' chains of rotations run side by side.
template <std::size_t K>
void turnSse2(const Lanes& at, float* sums, std::size_t samples) {
  __m128 c[K], s[K], a[K], stepC[K], stepS[K], stepA[K];
  for (std::size_t k = 0; k < K; ++k) {
    c[k] = _mm_load_ps(at.cos + 4 * k);
    s[k] = _mm_load_ps(at.sin + 4 * k);
    a[k] = _mm_load_ps(at.amplitude + 4 * k);
    stepC[k] = _mm_load_ps(at.stepCos + 4 * k);
    stepS[k] = _mm_load_ps(at.stepSin + 4 * k);
    stepA[k] = _mm_load_ps(at.amplitudeStep + 4 * k);
  }
  for (std::size_t n = 0; n < samples; ++n) {
    for (std::size_t k = 0; k < K; ++k) {
      float* sum = sums + 8 * n + 4 * (k % 2);
      _mm_store_ps(sum, _mm_add_ps(_mm_load_ps(sum), _mm_mul_ps(a[k], s[k])));
      const __m128 turned = _mm_sub_ps(_mm_mul_ps(c[k], stepC[k]), _mm_mul_ps(s[k], stepS[k]));
      s[k] = _mm_add_ps(_mm_mul_ps(c[k], stepS[k]), _mm_mul_ps(s[k], stepC[k]));
      c[k] = turned;
      a[k] = _mm_add_ps(a[k], stepA[k]);
    }
  }
  for (std::size_t k = 0; k < K; ++k) {
    _mm_store_ps(at.cos + 4 * k, c[k]);
    _mm_store_ps(at.sin + 4 * k, s[k]);
    _mm_store_ps(at.amplitude + 4 * k, a[k]);
  }
}

// The AVX2 twin of turnSse2(): `K` vectors of eight, each one lane group, the
// sample's eight lane sums kept in a register while the K groups are added in.
template <std::size_t K>
__attribute__((target("avx2"))) void turnAvx2(const Lanes& at, float* sums, std::size_t samples) {
  __m256 c[K], s[K], a[K], stepC[K], stepS[K], stepA[K];
  for (std::size_t k = 0; k < K; ++k) {
    c[k] = _mm256_load_ps(at.cos + 8 * k);
    s[k] = _mm256_load_ps(at.sin + 8 * k);
    a[k] = _mm256_load_ps(at.amplitude + 8 * k);
    stepC[k] = _mm256_load_ps(at.stepCos + 8 * k);
    stepS[k] = _mm256_load_ps(at.stepSin + 8 * k);
    stepA[k] = _mm256_load_ps(at.amplitudeStep + 8 * k);
  }
  for (std::size_t n = 0; n < samples; ++n) {
    float* sum = sums + 8 * n;
    __m256 total = _mm256_load_ps(sum);
    for (std::size_t k = 0; k < K; ++k) {
      total = _mm256_add_ps(total, _mm256_mul_ps(a[k], s[k]));
      const __m256 turned =
          _mm256_sub_ps(_mm256_mul_ps(c[k], stepC[k]), _mm256_mul_ps(s[k], stepS[k]));
      s[k] = _mm256_add_ps(_mm256_mul_ps(c[k], stepS[k]), _mm256_mul_ps(s[k], stepC[k]));
      c[k] = turned;
      a[k] = _mm256_add_ps(a[k], stepA[k]);
    }
    _mm256_store_ps(sum, total);
  }
  for (std::size_t k = 0; k < K; ++k) {
    _mm256_store_ps(at.cos + 8 * k, c[k]);
    _mm256_store_ps(at.sin + 8 * k, s[k]);
    _mm256_store_ps(at.amplitude + 8 * k, a[k]);
  }
}

// The AVX-512 twin of turnAvx2(): `K` vectors of sixteen, each two lane
// groups whose products go into the sample's sums one group after the other,
// as in the other paths.
template <std::size_t K>
__attribute__((target("avx512f"))) void turnAvx512(const Lanes& at, float* sums,
                                                   std::size_t samples) {
  __m512 c[K], s[K], a[K], stepC[K], stepS[K], stepA[K];
  for (std::size_t k = 0; k < K; ++k) {
    c[k] = _mm512_loadu_ps(at.cos + 16 * k);
    s[k] = _mm512_loadu_ps(at.sin + 16 * k);
    a[k] = _mm512_loadu_ps(at.amplitude + 16 * k);
    stepC[k] = _mm512_loadu_ps(at.stepCos + 16 * k);
    stepS[k] = _mm512_loadu_ps(at.stepSin + 16 * k);
    stepA[k] = _mm512_loadu_ps(at.amplitudeStep + 16 * k);
  }
  for (std::size_t n = 0; n < samples; ++n) {
    float* sum = sums + 8 * n;
    __m256 total = _mm256_load_ps(sum);
    for (std::size_t k = 0; k < K; ++k) {
      const __m512 product = _mm512_mul_ps(a[k], s[k]);
      total = _mm256_add_ps(total, _mm512_castps512_ps256(product));
      total = _mm256_add_ps(total,
                            _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(product), 1)));
      const __m512 turned =
          _mm512_sub_ps(_mm512_mul_ps(c[k], stepC[k]), _mm512_mul_ps(s[k], stepS[k]));
      s[k] = _mm512_add_ps(_mm512_mul_ps(c[k], stepS[k]), _mm512_mul_ps(s[k], stepC[k]));
      c[k] = turned;
      a[k] = _mm512_add_ps(a[k], stepA[k]);
    }
    _mm256_store_ps(sum, total);
  }
  for (std::size_t k = 0; k < K; ++k) {
    _mm512_storeu_ps(at.cos + 16 * k, c[k]);
    _mm512_storeu_ps(at.sin + 16 * k, s[k]);
    _mm512_storeu_ps(at.amplitude + 16 * k, a[k]);
  }
}

// out[n] = 0 + lane 0 + lane 1 + ... + lane 7 of sample n, the scalar path's
// order, four samples at a time by transposing their lanes.
void addLanes(const float* sums, float* out, std::size_t samples) {
  std::size_t n = 0;
  for (; n + 4 <= samples; n += 4) {
    const float* at = sums + 8 * n;
    __m128 l0 = _mm_load_ps(at), l1 = _mm_load_ps(at + 8);
    __m128 l2 = _mm_load_ps(at + 16), l3 = _mm_load_ps(at + 24);
    __m128 l4 = _mm_load_ps(at + 4), l5 = _mm_load_ps(at + 12);
    __m128 l6 = _mm_load_ps(at + 20), l7 = _mm_load_ps(at + 28);
    _MM_TRANSPOSE4_PS(l0, l1, l2, l3);
    _MM_TRANSPOSE4_PS(l4, l5, l6, l7);
    __m128 total = _mm_add_ps(_mm_setzero_ps(), l0);
    for (__m128 lane : {l1, l2, l3, l4, l5, l6, l7}) {
      total = _mm_add_ps(total, lane);
    }
    _mm_storeu_ps(out + n, total);
  }
  for (; n < samples; ++n) {
    float sum = 0.0f;
    for (std::size_t j = 0; j < 8; ++j) {
      sum += sums[8 * n + j];
    }
    out[n] = sum;
  }
}

}  // namespace

void OscillatorBank::restoreMagnitudesSse2() {
  for (std::size_t i = 0; i < lanes_; i += 4) {
    const __m128 marked =
        _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(changed_ + i)));
    const __m128 cos4 = _mm_load_ps(cos_ + i);
    const __m128 sin4 = _mm_load_ps(sin_ + i);
    __m128 restored[2];
    for (int half = 0; half < 2; ++half) {
      // Two oscillators in double: the low two floats, then the high two.
      const __m128 cosPair = half == 0 ? cos4 : _mm_movehl_ps(cos4, cos4);
      const __m128 sinPair = half == 0 ? sin4 : _mm_movehl_ps(sin4, sin4);
      const __m128d c = _mm_cvtps_pd(cosPair);
      const __m128d s = _mm_cvtps_pd(sinPair);
      const __m128d magnitude = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(c, c), _mm_mul_pd(s, s)));
      restored[half] = _mm_movelh_ps(_mm_cvtpd_ps(_mm_div_pd(c, magnitude)),
                                     _mm_cvtpd_ps(_mm_div_pd(s, magnitude)));
    }
    // Lanes 0, 1 hold the cosines of the first pair and 2, 3 its sines.
    const __m128 newCos = _mm_shuffle_ps(restored[0], restored[1], _MM_SHUFFLE(1, 0, 1, 0));
    const __m128 newSin = _mm_shuffle_ps(restored[0], restored[1], _MM_SHUFFLE(3, 2, 3, 2));
    _mm_store_ps(cos_ + i, _mm_or_ps(_mm_and_ps(marked, newCos), _mm_andnot_ps(marked, cos4)));
    _mm_store_ps(sin_ + i, _mm_or_ps(_mm_and_ps(marked, newSin), _mm_andnot_ps(marked, sin4)));
    _mm_store_si128(reinterpret_cast<__m128i*>(changed_ + i), _mm_setzero_si128());
  }
}

__attribute__((target("avx"))) void OscillatorBank::restoreMagnitudesAvx() {
  for (std::size_t i = 0; i < lanes_; i += 4) {
    const __m128 marked =
        _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(changed_ + i)));
    const __m128 cos4 = _mm_load_ps(cos_ + i);
    const __m128 sin4 = _mm_load_ps(sin_ + i);
    const __m256d c = _mm256_cvtps_pd(cos4);
    const __m256d s = _mm256_cvtps_pd(sin4);
    const __m256d magnitude =
        _mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(c, c), _mm256_mul_pd(s, s)));
    const __m128 newCos = _mm256_cvtpd_ps(_mm256_div_pd(c, magnitude));
    const __m128 newSin = _mm256_cvtpd_ps(_mm256_div_pd(s, magnitude));
    _mm_store_ps(cos_ + i, _mm_blendv_ps(cos4, newCos, marked));
    _mm_store_ps(sin_ + i, _mm_blendv_ps(sin4, newSin, marked));
    _mm_store_si128(reinterpret_cast<__m128i*>(changed_ + i), _mm_setzero_si128());
  }
  _mm256_zeroupper();
}

__attribute__((target("avx512f"))) void OscillatorBank::restoreMagnitudesAvx512() {
  for (std::size_t i = 0; i < lanes_; i += 8) {
    const __m256 marked =
        _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(changed_ + i)));
    const __m256 cos8 = _mm256_load_ps(cos_ + i);
    const __m256 sin8 = _mm256_load_ps(sin_ + i);
    const __m512d c = _mm512_cvtps_pd(cos8);
    const __m512d s = _mm512_cvtps_pd(sin8);
    const __m512d magnitude =
        _mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(c, c), _mm512_mul_pd(s, s)));
    const __m256 newCos = _mm512_cvtpd_ps(_mm512_div_pd(c, magnitude));
    const __m256 newSin = _mm512_cvtpd_ps(_mm512_div_pd(s, magnitude));
    _mm256_store_ps(cos_ + i, _mm256_blendv_ps(cos8, newCos, marked));
    _mm256_store_ps(sin_ + i, _mm256_blendv_ps(sin8, newSin, marked));
    _mm256_store_si256(reinterpret_cast<__m256i*>(changed_ + i), _mm256_setzero_si256());
  }
  _mm256_zeroupper();
}

void OscillatorBank::runSse2(float* out, int samples) {
  alignas(32) float sums[kChunk * kLanes] = {};
  const auto from = [this](std::size_t first) {
    return Lanes{cos_ + first,     sin_ + first,     amplitude_ + first,
                 stepCos_ + first, stepSin_ + first, amplitudeStep_ + first};
  };
  std::size_t base = 0;
  for (; base + 2 * kLanes <= lanes_; base += 2 * kLanes) {
    turnSse2<4>(from(base), sums, static_cast<std::size_t>(samples));
  }
  if (base < lanes_) {
    turnSse2<2>(from(base), sums, static_cast<std::size_t>(samples));
  }
  addLanes(sums, out, static_cast<std::size_t>(samples));
}

__attribute__((target("avx2"))) void OscillatorBank::runAvx2(float* out, int samples) {
  alignas(32) float sums[kChunk * kLanes] = {};
  const auto from = [this](std::size_t first) {
    return Lanes{cos_ + first,     sin_ + first,     amplitude_ + first,
                 stepCos_ + first, stepSin_ + first, amplitudeStep_ + first};
  };
  std::size_t base = 0;
  for (; base + 4 * kLanes <= lanes_; base += 4 * kLanes) {
    turnAvx2<4>(from(base), sums, static_cast<std::size_t>(samples));
  }
  for (; base + 2 * kLanes <= lanes_; base += 2 * kLanes) {
    turnAvx2<2>(from(base), sums, static_cast<std::size_t>(samples));
  }
  if (base < lanes_) {
    turnAvx2<1>(from(base), sums, static_cast<std::size_t>(samples));
  }
  // Leave no upper halves set: the code around is compiled for SSE, which
  // would otherwise pay for them on every instruction.
  _mm256_zeroupper();
  addLanes(sums, out, static_cast<std::size_t>(samples));
}

__attribute__((target("avx512f"))) void OscillatorBank::runAvx512(float* out, int samples) {
  alignas(32) float sums[kChunk * kLanes] = {};
  const auto from = [this](std::size_t first) {
    return Lanes{cos_ + first,     sin_ + first,     amplitude_ + first,
                 stepCos_ + first, stepSin_ + first, amplitudeStep_ + first};
  };
  std::size_t base = 0;
  for (; base + 8 * kLanes <= lanes_; base += 8 * kLanes) {
    turnAvx512<4>(from(base), sums, static_cast<std::size_t>(samples));
  }
  for (; base + 2 * kLanes <= lanes_; base += 2 * kLanes) {
    turnAvx512<1>(from(base), sums, static_cast<std::size_t>(samples));
  }
  if (base < lanes_) {
    turnAvx2<1>(from(base), sums, static_cast<std::size_t>(samples));
  }
  _mm256_zeroupper();
  addLanes(sums, out, static_cast<std::size_t>(samples));
}

#endif
