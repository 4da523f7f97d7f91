// The level of a sound over a stretch of it: RMS over windows of WINDOW
// seconds (default 0.05) every 10 ms, in dB of full scale; prints the
// median, the lowest and the highest.
//   held_level SOUND START END [WINDOW]
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: held_level SOUND START END [WINDOW]\n");
    return 2;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "held_level: %s: %s\n", argv[1], sf_strerror(nullptr));
    return 1;
  }
  std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
  const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  std::vector<double> mono(static_cast<std::size_t>(got), 0.0);
  for (sf_count_t f = 0; f < got; ++f) {
    for (int c = 0; c < info.channels; ++c) {
      mono[static_cast<std::size_t>(f)] +=
          static_cast<double>(frames[static_cast<std::size_t>(f * info.channels + c)]) /
          info.channels;
    }
  }
  const double rate = info.samplerate;
  const long window = std::lround((argc == 5 ? std::atof(argv[4]) : 0.05) * rate);
  const long hop = std::lround(0.01 * rate);
  const long first = std::lround(std::atof(argv[2]) * rate);
  const long last = std::min(static_cast<long>(got), std::lround(std::atof(argv[3]) * rate));
  std::vector<double> levels;
  for (long at = std::max(0L, first); at + window <= last; at += hop) {
    double sum = 0;
    for (long i = at; i < at + window; ++i) {
      sum += mono[static_cast<std::size_t>(i)] * mono[static_cast<std::size_t>(i)];
    }
    levels.push_back(10.0 * std::log10(std::max(sum / window, 1e-20)));
  }
  if (levels.empty()) {
    std::fprintf(stderr, "held_level: the stretch is shorter than a window\n");
    return 1;
  }
  std::sort(levels.begin(), levels.end());
  std::printf("%.2f %.2f %.2f\n", levels[levels.size() / 2], levels.front(), levels.back());
  return 0;
}
