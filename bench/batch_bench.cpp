// Batch benchmark: converts a folder of pictures in one tonepix call and
// compares it with two I/O floor programs that do no conversion: the safe
// floor reads each picture and writes a file of the voice file's size to a new
// temporary name, then renames it over the destination (tonepix's own I/O
// contract); the plain floor writes the destination in place. The three
// programs alternate, call after call.
//
//   tonepix_batch_bench --tonepix PATH --floor PATH --dir DIR
//                       [--count N] [--runs R] [--scales 0.1,1,10] [--rows 128,32]
//
// For each picture height and scale, N x scale random pictures of that height
// are made with a fixed seed. Per call it measures wall time (fork to reaped,
// process start included), CPU time and peak resident size; per round the
// ratio of tonepix's wall time to the safe floor's. Exit status 0 when every
// call succeeded and every voice file has the floor's size; the timings are
// reported, never judged by the exit status.
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

#include "image/bitmap_writer.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr long kRssTargetKiB = 3072;

struct Options {
  std::string tonepix;
  std::string floor;
  std::string dir;
  long count = 2000;
  int runs = 5;
  std::vector<double> scales{0.1, 1.0, 10.0};
  std::vector<double> rows{128, 32};
};

struct Run {
  double micros = 0;     // wall clock, fork to reaped
  double cpuMicros = 0;  // user + system of the child
  long maxRssKiB = 0;
  bool ok = false;
};

// Medians per picture over the timed calls, and the spread of the ratio.
struct Row {
  int rows = 0;
  long pictures = 0;
  double tonepixMicros = 0;
  double safeMicros = 0;
  double plainMicros = 0;
  double ratioMedian = 0;  // tonepix / safe floor, per round
  double ratioMin = 0;
  double ratioMax = 0;
  double tonepixCpu = 0;
  double safeCpu = 0;
  long tonepixRss = 0;  // highest of all calls
  long safeRss = 0;
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
    } else if (key == "--scales" || key == "--rows") {
      std::vector<double>& list = key == "--scales" ? options.scales : options.rows;
      list.clear();
      for (const char* p = value; *p != '\0';) {
        char* end = nullptr;
        list.push_back(std::strtod(p, &end));
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
         !options.dir.empty() && options.count > 0 && options.runs > 0 && !options.scales.empty() &&
         !options.rows.empty();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Picture i's name without the ".bmp". Names are made when needed, never held
// in a list: see spawn().
std::string pictureStem(long i) { return "p" + std::to_string(i); }

bool makePictures(const fs::path& dir, long count, int rows) {
  std::mt19937 random(20261206u);  // the engine's sequence is fixed by the standard
  for (long i = 0; i < count; ++i) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(64 * rows));
    for (auto& pixel : pixels) {
      pixel = static_cast<std::uint8_t>(random() & 0xFFu);
    }
    const fs::path path = dir / (pictureStem(i) + ".bmp");
    if (!writeFileBytes(path.string(), makeBitmap(64, rows, pixels))) {
      return false;
    }
  }
  return true;
}

// The bytes execve needs for the names, their pointers and the environment.
std::size_t argumentBytes(long count) {
  std::size_t bytes = 0;
  for (long i = 0; i < count; ++i) {
    bytes += pictureStem(i).size() + 5 + sizeof(char*);
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
Run spawn(const std::string& program, const char* firstArgument, const fs::path& dir, long count,
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
    text.reserve(argumentBytes(count));
    for (long i = 0; i < count; ++i) {
      text += pictureStem(i) + ".bmp";
      text += '\0';
    }
    std::vector<char*> args;
    args.reserve(static_cast<std::size_t>(count + 3));
    args.push_back(const_cast<char*>(program.c_str()));
    if (firstArgument != nullptr) {
      args.push_back(const_cast<char*>(firstArgument));
    }
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
bool outputsMatch(const fs::path& dir, long count) {
  for (long i = 0; i < count; ++i) {
    const std::string stem = pictureStem(i);
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

bool measure(const Options& options, int rows, double scale, Row& row) {
  const long count = std::max(1L, std::lround(static_cast<double>(options.count) * scale));
  row.rows = rows;
  row.pictures = count;
  const std::size_t argBytes = argumentBytes(count);
  const long argMax = sysconf(_SC_ARG_MAX);
  if (argMax > 0 && argBytes + 4096 > static_cast<std::size_t>(argMax)) {
    std::fprintf(stderr,
                 "batch_bench: %ld pictures need %zu bytes of arguments, over the %ld the "
                 "system allows for one call; skipped\n",
                 count, argBytes, argMax);
    return true;
  }
  const fs::path dir =
      fs::path(options.dir) / ("h" + std::to_string(rows) + "-n" + std::to_string(count));
  std::error_code error;
  fs::remove_all(dir, error);
  fs::create_directories(dir, error);
  if (error || !makePictures(dir, count, rows)) {
    std::fprintf(stderr, "batch_bench: cannot make pictures in %s\n", dir.c_str());
    return false;
  }

  // One untimed call of each creates the output files: every timed call then
  // replaces the previous call's files, as a repeated conversion does.
  const char* safe = "--safe";
  bool ok = spawn(options.tonepix, nullptr, dir, count, "tonepix.err").ok &&
            spawn(options.floor, safe, dir, count, "floor.err").ok;
  std::vector<double> tonepixTimes, safeTimes, plainTimes, ratios, tonepixCpu, safeCpu;
  const auto n = static_cast<double>(count);
  for (int r = 0; ok && r < options.runs; ++r) {
    sync();  // start each call with no writeback left over from the last one
    const Run t = spawn(options.tonepix, nullptr, dir, count, "tonepix.err");
    sync();
    const Run f = spawn(options.floor, safe, dir, count, "floor.err");
    sync();
    const Run plain = spawn(options.floor, nullptr, dir, count, "floor.err");
    ok = t.ok && f.ok && plain.ok;
    tonepixTimes.push_back(t.micros / n);
    safeTimes.push_back(f.micros / n);
    plainTimes.push_back(plain.micros / n);
    ratios.push_back(t.micros / f.micros);
    tonepixCpu.push_back(t.cpuMicros / n);
    safeCpu.push_back(f.cpuMicros / n);
    row.tonepixRss = std::max(row.tonepixRss, t.maxRssKiB);
    row.safeRss = std::max(row.safeRss, f.maxRssKiB);
  }
  if (!ok) {
    std::fprintf(stderr, "batch_bench: a call failed in %s (see its *.err files)\n", dir.c_str());
    return false;
  }
  ok = outputsMatch(dir, count);
  row.tonepixMicros = median(tonepixTimes);
  row.safeMicros = median(safeTimes);
  row.plainMicros = median(plainTimes);
  row.ratioMedian = median(ratios);
  row.ratioMin = *std::min_element(ratios.begin(), ratios.end());
  row.ratioMax = *std::max_element(ratios.begin(), ratios.end());
  row.tonepixCpu = median(tonepixCpu);
  row.safeCpu = median(safeCpu);
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
                 "[--count N] [--runs R] [--scales 0.1,1,10] [--rows 128,32]\n");
    return 2;
  }
  options.tonepix = fs::absolute(options.tonepix).string();
  options.floor = fs::absolute(options.floor).string();
  std::sort(options.scales.begin(), options.scales.end());

  std::printf(
      "folder %s; %d timed calls of each program per row, alternating; wall and CPU time are "
      "medians per picture, the ratio is tonepix / safe floor per round: median (min-max)\n\n",
      options.dir.c_str(), options.runs);
  std::printf(
      "| rows | pictures | tonepix us | safe floor us | plain floor us | ratio to safe floor | "
      "tonepix CPU us | safe floor CPU us | tonepix peak RSS KiB | safe floor peak RSS KiB |\n");
  std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  std::vector<Row> rows;
  for (const double height : options.rows) {
    for (const double scale : options.scales) {
      Row row;
      if (!measure(options, static_cast<int>(height), scale, row)) {
        return 1;
      }
      if (row.tonepixMicros <= 0) {
        continue;  // skipped
      }
      rows.push_back(row);
      std::printf(
          "| %d | %ld | %.1f | %.1f | %.1f | %.2f (%.2f-%.2f) | %.1f | %.1f | %ld | %ld |\n",
          row.rows, row.pictures, row.tonepixMicros, row.safeMicros, row.plainMicros,
          row.ratioMedian, row.ratioMin, row.ratioMax, row.tonepixCpu, row.safeCpu, row.tonepixRss,
          row.safeRss);
      std::fflush(stdout);
    }
  }
  if (rows.empty()) {
    return 1;
  }
  long peakRss = 0;
  for (const Row& row : rows) {
    peakRss = std::max(peakRss, row.tonepixRss);
  }
  std::printf("\nhighest tonepix peak RSS %ld KiB (target <= %ld KiB)\n", peakRss, kRssTargetKiB);
  return 0;
}
