// An arbitrary command line: the input split at NUL bytes into arguments. The
// parser must end in one of its outcomes with every setting inside its range,
// and the file arguments it points at must go through the picture naming
// rules without trouble.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "image/bitmap_naming.h"

namespace {

std::FILE* gDevNull = nullptr;

void check(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool within(std::int32_t value, std::int32_t low, std::int32_t high) {
  return value >= low && value <= high;
}

void checkSettings(const Converter& c) {
  check(within(c.verbosity, 0, 2));
  check(within(c.harmonicCount, 1, 64));
  check(within(c.normalizePercent, 1, 100));
  check(within(c.noiseFloorPercent, 0, 99));
  check(within(c.decimatePercent, 0, 100));
  check(within(c.randomPercent, 0, 100));
  check(within(c.plateauPercent, 0, 100));
  check(within(c.freqDelta, 0, 100));
  check(c.bpm == -1 || within(c.bpm, 10, 1000));
  // -i keeps 0.1..8 seconds; -b gives 60/1000 up to 60/10 seconds.
  check(c.interval >= 0.06f && c.interval <= 8.0f);
}

void checkNaming(const char* argument) {
  if (!hasBitmapName(argument) ||
      std::strlen(argument) > static_cast<std::size_t>(kMaxPathLength)) {
    return;  // the loader refuses these before deriving anything
  }
  char output[kMaxPathLength + 1];
  char name[kMaxPathLength + 1];
  deriveOutputPath(argument, output, sizeof output);
  deriveVoiceName(argument, name, sizeof name);
  check(std::strlen(output) <= std::strlen(argument));
  check(std::strchr(name, '/') == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gDevNull = std::fopen("/dev/null", "w");
  if (gDevNull == nullptr) {
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"tonepix"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty()) {
    args.push_back(current);
  }
  std::vector<const char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  const int argc = static_cast<int>(argv.size());

  auto converter = std::make_unique<Converter>();
  converter->log = gDevNull;
  const ParseOutcome outcome = converter->parseOptions(argc, argv.data());
  checkSettings(*converter);
  switch (outcome.kind) {
    case ParseOutcome::Kind::Help:
      break;
    case ParseOutcome::Kind::Error:
      check(outcome.value == -2 || outcome.value == -20 || outcome.value == 7 ||
            outcome.value == 8);
      break;
    case ParseOutcome::Kind::FirstFile:
      check(within(outcome.value, 1, argc));
      for (int i = outcome.value; i < argc; ++i) {
        checkNaming(argv[static_cast<std::size_t>(i)]);
      }
      break;
  }
  return 0;
}
