// Time per picture in each conversion stage, inside one process: the
// user-side cost that the batch benchmark sees only as the gap above its I/O
// floor.
//
//   stage_bench [--rounds N] [--to-file] PICTURE.bmp [MORE.bmp ...]
//
// Converts the pictures in turn, N conversions in all (default 2000), with
// default options, and prints each stage's median and minimum time in
// nanoseconds. The voice goes to /dev/null, so that writeVoice() is the
// envelope fill and the encoding plus one cheap write; with --to-file it
// replaces PICTURE.hvx as tonepix writes it, and every stage then runs in the
// caches that the real I/O leaves, as in a batch.
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
  int rounds = 2000;
  bool toFile = false;
  int first = 1;
  for (; first < argc && argv[first][0] == '-'; ++first) {
    if (std::strcmp(argv[first], "--to-file") == 0) {
      toFile = true;
    } else if (std::strcmp(argv[first], "--rounds") == 0 && first + 1 < argc) {
      rounds = std::atoi(argv[++first]);
    } else {
      first = argc;
    }
  }
  if (first >= argc) {
    std::fprintf(stderr,
                 "usage: stage_bench [--rounds N] [--to-file] PICTURE.bmp [MORE.bmp ...]\n");
    return 2;
  }
  const int pictures = argc - first;
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
    if (converter->loadBitmap(argv[first + round % pictures]) != 0) {
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
