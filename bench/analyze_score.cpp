// Scores a resynthesis against its source: magnitude spectrograms (Hann
// 4096, hop 1024) over the source's length, the resynthesis scaled by the
// gain that fits best, then ||S - gR|| / ||S|| (spectral convergence; 0 is
// a perfect copy, 1 as far off as silence). With SECONDS, only the frames
// that start in the first SECONDS of the source count.
//   analyze_score SOURCE RESYNTHESIS [SECONDS]
#include <kiss_fftr.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kWindow = 4096;
constexpr int kHop = 1024;

bool readMono(const char* path, std::vector<float>& samples, int& rate) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path, SFM_READ, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "analyze_score: %s: %s\n", path, sf_strerror(nullptr));
    return false;
  }
  std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
  const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  samples.assign(static_cast<std::size_t>(got), 0.0f);
  for (sf_count_t f = 0; f < got; ++f) {
    for (int c = 0; c < info.channels; ++c) {
      samples[static_cast<std::size_t>(f)] +=
          frames[static_cast<std::size_t>(f * info.channels + c)] /
          static_cast<float>(info.channels);
    }
  }
  rate = info.samplerate;
  return true;
}

// Magnitudes of every frame that starts inside the first `length` samples.
std::vector<float> spectrogram(const std::vector<float>& samples, std::size_t length) {
  kiss_fftr_cfg fft = kiss_fftr_alloc(kWindow, 0, nullptr, nullptr);
  std::vector<float> frame(kWindow);
  std::vector<kiss_fft_cpx> bins(kWindow / 2 + 1);
  std::vector<float> magnitudes;
  for (std::size_t start = 0; start < length; start += kHop) {
    for (int i = 0; i < kWindow; ++i) {
      const std::size_t at = start + static_cast<std::size_t>(i);
      const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / kWindow);
      frame[static_cast<std::size_t>(i)] =
          at < length && at < samples.size() ? static_cast<float>(hann * samples[at]) : 0.0f;
    }
    kiss_fftr(fft, frame.data(), bins.data());
    for (const kiss_fft_cpx& bin : bins) {
      magnitudes.push_back(std::hypot(bin.r, bin.i));
    }
  }
  kiss_fftr_free(fft);
  return magnitudes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: analyze_score SOURCE RESYNTHESIS [SECONDS]\n");
    return 2;
  }
  std::vector<float> source, resynthesis;
  int sourceRate = 0, resynthesisRate = 0;
  if (!readMono(argv[1], source, sourceRate) || !readMono(argv[2], resynthesis, resynthesisRate)) {
    return 1;
  }
  if (sourceRate != resynthesisRate) {
    std::fprintf(stderr, "analyze_score: sample rates differ (%d, %d)\n", sourceRate,
                 resynthesisRate);
    return 1;
  }
  std::size_t length = source.size();
  if (argc == 4) {
    length = std::min(length, static_cast<std::size_t>(std::atof(argv[3]) * sourceRate));
  }
  const std::vector<float> s = spectrogram(source, length);
  const std::vector<float> r = spectrogram(resynthesis, length);
  double sr = 0, rr = 0, ss = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    sr += static_cast<double>(s[i]) * r[i];
    rr += static_cast<double>(r[i]) * r[i];
    ss += static_cast<double>(s[i]) * s[i];
  }
  const double gain = rr > 0 ? sr / rr : 0;
  double error = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double d = s[i] - gain * r[i];
    error += d * d;
  }
  std::printf("%.4f\n", ss > 0 ? std::sqrt(error / ss) : 0.0);
  return 0;
}
