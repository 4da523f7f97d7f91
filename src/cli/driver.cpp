#include "cli/driver.h"

#include <cstdio>
#include <cstdlib>

#include "cli/converter.h"
#include "cli/option_table.h"

namespace {
constexpr int kNeedFileCode = 65443;
constexpr const char* kUsageLine = "Usage: tonepix [options] foo.bmp [foo2.bmp foo3.bmp ...]\n";
}  // namespace

void printHelp() {
  std::fprintf(stderr, "tonepix version 0.9b alphoid!\n");
  std::fputs(kUsageLine, stderr);
  for (const ToneOption& option : kToneOptions) {
    char line[128];
    formatOptionHelp(option, line, sizeof line);
    std::fputs(line, stderr);
  }
  std::exit(1);
}

void printUsageAndExit(int code) {
  std::fprintf(stderr, "\n");
  std::fputs(kUsageLine, stderr);
  std::fprintf(stderr, "tonepix -h for options\n");
  std::fprintf(stderr, "Exit code: %d\n", code);
  std::exit(code);
}

int convertFiles(Converter& converter, int first, int argc, const char* const* argv) {
  int failed = 0;
  for (int index = first; index < argc; ++index) {
    if (converter.convertFile(argv[index]) != 0) {
      ++failed;  // reported; the run goes on
    }
  }
  return failed;
}

int runConverter(Converter& converter, int argc, const char* const* argv) {
  if (argc < 2) {
    printHelp();
  }
  const ParseOutcome outcome = converter.parseOptions(argc, argv);
  if (outcome.kind == ParseOutcome::Kind::Help) {
    printHelp();
  }
  if (outcome.kind == ParseOutcome::Kind::Error) {
    printUsageAndExit(outcome.value);
  }
  if (outcome.value == argc) {
    std::fprintf(stderr, "Need a .bmp file.\n");
    printUsageAndExit(kNeedFileCode);
  }
  convertFiles(converter, outcome.value, argc, argv);
  return 0;  // whatever happened to each file
}
