// Batch benchmark: converts a folder of pictures in one tonepix call and
// compares it with the I/O floor program (read each picture, write a file of
// the voice file's size), alternating the two, at several picture counts.
//
//   tonepix_batch_bench --tonepix PATH --floor PATH --dir DIR
//                       [--count N] [--runs R] [--scales 0.1,1,10]
//
// N pictures of 64x128 random pixels and N of 64x32 (default 2,000 each, so
// 4,000 per call) are made with a fixed seed for each scale. Exit status 0 when
// every call succeeded and every voice file has the expected size; the timings
// are reported, never judged by the exit status.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "bitmap_writer.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr double kRatioTarget = 1.25;
constexpr long kRssTargetKiB = 4096;

struct Options {
  std::string tonepix;
  std::string floor;
  std::string dir;
  long count = 2000;
  int runs = 5;
  std::vector<double> scales{0.1, 1.0, 10.0};
};

struct Run {
  double micros = 0;     // wall clock, fork to reaped
  double cpuMicros = 0;  // user + system of the child
  long maxRssKiB = 0;
  bool ok = false;
};

struct Row {
  long pictures = 0;
  double tonepixMicros = 0;  // medians per picture
  double floorMicros = 0;
  double tonepixCpu = 0;
  double floorCpu = 0;
  long tonepixRss = 0;  // highest of all runs
  long floorRss = 0;
};

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--tonepix") {
      options.tonepix = value;
    } else if (key == "--floor") {
      options.floor = value;
    } else if (key == "--dir") {
      options.dir = value;
    } else if (key == "--count") {
      options.count = std::atol(value);
    } else if (key == "--runs") {
      options.runs = std::atoi(value);
    } else if (key == "--scales") {
      options.scales.clear();
      for (const char* p = value; *p != '\0';) {
        char* end = nullptr;
        options.scales.push_back(std::strtod(p, &end));
        if (end == p) {
          return false;
        }
        p = *end == ',' ? end + 1 : end;
      }
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !options.tonepix.empty() && !options.floor.empty() &&
         !options.dir.empty() && options.count > 0 && options.runs > 0 && !options.scales.empty();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Picture i of 2 * perKind, its name without the ".bmp": the tall pictures
// first, then the short ones, the order a shell gives t*.bmp s*.bmp. Names are
// made when needed, never held in a list: see spawn().
std::string pictureStem(long i, long perKind) {
  return (i < perKind ? "t" : "s") + std::to_string(i % perKind);
}

bool makePictures(const fs::path& dir, long perKind) {
  std::mt19937 random(20261206u);  // the engine's sequence is fixed by the standard
  for (long i = 0; i < 2 * perKind; ++i) {
    const int rows = i < perKind ? 128 : 32;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * rows));
    for (auto& pixel : pixels) {
      pixel = static_cast<std::uint8_t>(random() & 0xFFu);
    }
    const fs::path path = dir / (pictureStem(i, perKind) + ".bmp");
    if (!writeFileBytes(path.string(), makeBitmap(64, rows, pixels))) {
      return false;
    }
  }
  return true;
}

// The bytes execve needs for the names, their pointers and the environment.
std::size_t argumentBytes(long perKind) {
  std::size_t bytes = 0;
  for (long i = 0; i < 2 * perKind; ++i) {
    bytes += pictureStem(i, perKind).size() + 5 + sizeof(char*);
  }
  for (char** e = environ; *e != nullptr; ++e) {
    bytes += std::strlen(*e) + 1 + sizeof(char*);
  }
  return bytes;
}

// Runs `program` on every picture inside `dir`, with standard output
// discarded and standard error kept in `errorFile`. A child's peak resident
// size counts the parent's memory it inherited at fork, so the parent holds no
// name list: the child builds its own, which then lands on the new program's
// stack as its arguments, where it is honestly part of that program's size.
Run spawn(const std::string& program, const fs::path& dir, long perKind,
          const std::string& errorFile) {
  Run run;
  std::fflush(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    return run;
  }
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) {
      _exit(126);
    }
    const int out = open("/dev/null", O_WRONLY);
    const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
      _exit(126);
    }
    // Sized up front: growing by doubling would leave a larger peak behind.
    std::string text;
    text.reserve(argumentBytes(perKind));
    for (long i = 0; i < 2 * perKind; ++i) {
      text += pictureStem(i, perKind) + ".bmp";
      text += '\0';
    }
    std::vector<char*> args;
    args.reserve(static_cast<std::size_t>(2 * perKind + 2));
    args.push_back(const_cast<char*>(program.c_str()));
    for (std::size_t at = 0; at < text.size(); at += std::strlen(&text[at]) + 1) {
      args.push_back(&text[at]);
    }
    args.push_back(nullptr);
    execv(program.c_str(), args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) {
    return run;
  }
  const auto stop = std::chrono::steady_clock::now();
  run.micros = std::chrono::duration<double, std::micro>(stop - start).count();
  run.cpuMicros = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  run.maxRssKiB = usage.ru_maxrss;
  std::error_code error;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           fs::file_size(dir / errorFile, error) == 0 && !error;
  return run;
}

// Every picture has a voice file and a floor file, of the same size.
bool outputsMatch(const fs::path& dir, long perKind) {
  for (long i = 0; i < 2 * perKind; ++i) {
    const std::string stem = pictureStem(i, perKind);
    std::error_code voiceError;
    std::error_code floorError;
    const auto voice = fs::file_size(dir / (stem + ".hvx"), voiceError);
    const auto floor = fs::file_size(dir / (stem + ".flr"), floorError);
    if (voiceError || floorError || voice != floor) {
      std::fprintf(stderr, "batch_bench: %s: voice file and floor file differ in size\n",
                   stem.c_str());
      return false;
    }
  }
  return true;
}

bool measure(const Options& options, double scale, Row& row) {
  const long perKind = std::max(1L, std::lround(static_cast<double>(options.count) * scale));
  row.pictures = 2 * perKind;
  const std::size_t argBytes = argumentBytes(perKind);
  const long argMax = sysconf(_SC_ARG_MAX);
  if (argMax > 0 && argBytes + 4096 > static_cast<std::size_t>(argMax)) {
    std::fprintf(stderr,
                 "batch_bench: %ld pictures need %zu bytes of arguments, over the %ld the "
                 "system allows for one call; skipped\n",
                 row.pictures, argBytes, argMax);
    return true;
  }
  const fs::path dir = fs::path(options.dir) / ("n" + std::to_string(row.pictures));
  std::error_code error;
  fs::remove_all(dir, error);
  fs::create_directories(dir, error);
  if (error || !makePictures(dir, perKind)) {
    std::fprintf(stderr, "batch_bench: cannot make pictures in %s\n", dir.c_str());
    return false;
  }

  // One untimed call of each creates the output files: every timed call then
  // overwrites the previous call's files, as a repeated conversion does.
  bool ok = spawn(options.tonepix, dir, perKind, "tonepix.err").ok &&
            spawn(options.floor, dir, perKind, "floor.err").ok;
  std::vector<double> tonepixTimes, floorTimes, tonepixCpu, floorCpu;
  for (int r = 0; ok && r < options.runs; ++r) {
    sync();  // start each call with no writeback left over from the last one
    const Run t = spawn(options.tonepix, dir, perKind, "tonepix.err");
    sync();
    const Run f = spawn(options.floor, dir, perKind, "floor.err");
    ok = t.ok && f.ok;
    const auto n = static_cast<double>(row.pictures);
    tonepixTimes.push_back(t.micros / n);
    floorTimes.push_back(f.micros / n);
    tonepixCpu.push_back(t.cpuMicros / n);
    floorCpu.push_back(f.cpuMicros / n);
    row.tonepixRss = std::max(row.tonepixRss, t.maxRssKiB);
    row.floorRss = std::max(row.floorRss, f.maxRssKiB);
  }
  if (!ok) {
    std::fprintf(stderr, "batch_bench: a call failed in %s (see its *.err files)\n", dir.c_str());
    return false;
  }
  ok = outputsMatch(dir, perKind);
  row.tonepixMicros = median(tonepixTimes);
  row.floorMicros = median(floorTimes);
  row.tonepixCpu = median(tonepixCpu);
  row.floorCpu = median(floorCpu);
  if (ok) {
    fs::remove_all(dir, error);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: tonepix_batch_bench --tonepix PATH --floor PATH --dir DIR "
                 "[--count N] [--runs R] [--scales 0.1,1,10]\n");
    return 2;
  }
  options.tonepix = fs::absolute(options.tonepix).string();
  options.floor = fs::absolute(options.floor).string();
  std::sort(options.scales.begin(), options.scales.end());

  std::printf(
      "%ld pictures of 64x128 and %ld of 64x32 per 1x call, %d timed calls of each "
      "program per count, alternating; medians per picture\n\n",
      options.count, options.count, options.runs);
  std::printf(
      "| pictures | tonepix us/picture | floor us/picture | ratio | "
      "tonepix CPU us/picture | floor CPU us/picture | tonepix peak RSS KiB | "
      "floor peak RSS KiB |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  std::vector<Row> rows;
  bool ok = true;
  for (const double scale : options.scales) {
    Row row;
    if (!measure(options, scale, row)) {
      ok = false;
      break;
    }
    if (row.tonepixMicros <= 0) {
      continue;  // skipped
    }
    rows.push_back(row);
    std::printf("| %ld | %.1f | %.1f | %.2f | %.1f | %.1f | %ld | %ld |\n", row.pictures,
                row.tonepixMicros, row.floorMicros, row.tonepixMicros / row.floorMicros,
                row.tonepixCpu, row.floorCpu, row.tonepixRss, row.floorRss);
    std::fflush(stdout);
  }
  if (!ok || rows.empty()) {
    return 1;
  }

  double worstRatio = 0;
  long peakRss = 0;
  for (const Row& row : rows) {
    worstRatio = std::max(worstRatio, row.tonepixMicros / row.floorMicros);
    peakRss = std::max(peakRss, row.tonepixRss);
  }
  std::printf("\nworst time ratio %.2f (target <= %.2f): %s\n", worstRatio, kRatioTarget,
              worstRatio <= kRatioTarget ? "met" : "missed");
  std::printf("highest peak RSS %ld KiB (target <= %ld KiB): %s\n", peakRss, kRssTargetKiB,
              peakRss <= kRssTargetKiB ? "met" : "missed");
  std::printf("from %ld to %ld pictures: us/picture x%.2f, peak RSS %+ld KiB\n",
              rows.front().pictures, rows.back().pictures,
              rows.back().tonepixMicros / rows.front().tonepixMicros,
              rows.back().tonepixRss - rows.front().tonepixRss);
  return 0;
}
