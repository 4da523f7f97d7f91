#include "hvx/analysis/real_fft.h"

#include <kiss_fftr.h>

#include <new>

// std::complex<float> and kiss_fft_cpx are both two floats, real first.
static_assert(sizeof(std::complex<float>) == sizeof(kiss_fft_cpx), "same complex layout");

RealFft::RealFft(int size)
    : size_(size),
      forward_(kiss_fftr_alloc(size, 0, nullptr, nullptr)),
      inverse_(kiss_fftr_alloc(size, 1, nullptr, nullptr)) {
  if (forward_ == nullptr || inverse_ == nullptr) {
    throw std::bad_alloc();
  }
}

RealFft::~RealFft() {
  kiss_fftr_free(forward_);
  kiss_fftr_free(inverse_);
}

void RealFft::forward(const std::vector<float>& frame, std::vector<std::complex<float>>& spectrum) {
  spectrum.resize(static_cast<std::size_t>(size_ / 2 + 1));
  kiss_fftr(static_cast<kiss_fftr_cfg>(forward_), frame.data(),
            reinterpret_cast<kiss_fft_cpx*>(spectrum.data()));
}

void RealFft::inverse(const std::vector<std::complex<float>>& spectrum, std::vector<float>& frame) {
  frame.resize(static_cast<std::size_t>(size_));
  kiss_fftri(static_cast<kiss_fftr_cfg>(inverse_),
             reinterpret_cast<const kiss_fft_cpx*>(spectrum.data()), frame.data());
}
