#pragma once

#include <complex>
#include <vector>

// The Fourier transform of real frames, by KissFFT. One object per frame
// size, reused for every frame of that size.
class RealFft {
 public:
  // `size` must be even; powers of two are fastest.
  explicit RealFft(int size);
  ~RealFft();
  RealFft(const RealFft&) = delete;
  RealFft& operator=(const RealFft&) = delete;

  int size() const { return size_; }
  // `frame` holds size() samples; `spectrum` gets size() / 2 + 1 bins.
  void forward(const std::vector<float>& frame, std::vector<std::complex<float>>& spectrum);
  // The inverse, unscaled: forward then inverse multiplies by size().
  void inverse(const std::vector<std::complex<float>>& spectrum, std::vector<float>& frame);

 private:
  int size_;
  void* forward_;
  void* inverse_;
};
