// Time per picture in each conversion stage, inside one process: the
// user-side cost that the batch benchmark sees only as the gap above its I/O
// floor. The voice goes to /dev/null, so writeVoice() is the envelope fill
// and the encoding plus one cheap write.
//
//   stage_bench PICTURE.bmp [ROUNDS [--to-file]]
//
// With --to-file the voice replaces PICTURE.hvx each round, as tonepix writes
// it, so that writeVoice() includes the real I/O and the other stages run in
// the caches that I/O leaves. Prints the median and the minimum of each stage over ROUNDS conversions of
// the same picture with default options, in nanoseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/converter.h"
#include "common/random_source.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Stage {
  const char* name;
  int (Converter::*run)();
};

double nanos(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::nano>(to - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: stage_bench PICTURE.bmp [ROUNDS [--to-file]]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 2000;
  const bool toFile = argc > 3 && std::strcmp(argv[3], "--to-file") == 0;
  std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr || rounds < 1) {
    return 1;
  }
  auto converter = std::make_unique<Converter>();
  converter->summary = sink;
  converter->log = sink;
  RandomSource::seed(1u);
  const Stage stages[] = {
      {"decimate", &Converter::decimate},
      {"randomize", &Converter::randomize},
      {"cutNoise", &Converter::cutNoise},
      {"scaleAmplitudes", &Converter::scaleAmplitudes},
      {"computeRatios", &Converter::computeRatios},
      {"closeEnvelope", &Converter::closeEnvelope},
      {"writeVoice", &Converter::writeVoice},
  };
  constexpr int kStages = sizeof stages / sizeof stages[0];
  std::vector<double> times[kStages + 1];
  for (int round = 0; round < rounds; ++round) {
    auto start = Clock::now();
    if (converter->loadBitmap(argv[1]) != 0) {
      return 1;
    }
    auto end = Clock::now();
    times[0].push_back(nanos(start, end));
    if (!toFile) {
      std::strcpy(converter->outputPath, "/dev/null");
    }
    for (int s = 0; s < kStages; ++s) {
      start = Clock::now();
      (converter.get()->*stages[s].run)();
      end = Clock::now();
      times[s + 1].push_back(nanos(start, end));
    }
  }
  double total = 0;
  for (int s = 0; s <= kStages; ++s) {
    std::sort(times[s].begin(), times[s].end());
    const double median = times[s][times[s].size() / 2];
    total += median;
    std::printf("%-16s median %8.0f ns  min %8.0f ns\n", s == 0 ? "loadBitmap" : stages[s - 1].name,
                median, times[s].front());
  }
  std::printf("%-16s median %8.0f ns\n", "sum of medians", total);
  return 0;
}
