#include "cli/driver.h"

#include <cstdio>
#include <cstdlib>

#include "cli/converter.h"

namespace {
constexpr int kNeedFileCode = 65443;
}

void printHelp() {
  std::fprintf(stderr, "tonepix version 0.9b alphoid!\n");
  std::fprintf(stderr, "Usage: tonepix [options] foo.bmp [foo2.bmp foo3.bmp ...]\n");
  std::fprintf(stderr, " -h   print this help\n");
  std::fprintf(stderr, " -tN  truncate at N harmonics (default 64)\n");
  std::fprintf(stderr, " -iN  Envelope intervals at N seconds (0.1..8.0, default 0.3 sec)\n");
  std::fprintf(stderr, " -bN  sync to N bpm (default off (uses -i instead))\n");
  std::fprintf(stderr, " -pN  plateau interval length N%% (default 0%% == off)\n");
  std::fprintf(stderr, " -dN  decimate: mute random N%% of harmonics read (default 0%%)\n");
  std::fprintf(stderr, " -rN  generate random values for N%% of harmonics (default 0%%)\n");
  std::fprintf(stderr, " -zN  Cut noise threshold at N%% (default 0%%, before normalization)\n");
  std::fprintf(stderr, " -nN  Normalize values to N%% max (default 40%%)\n");
  std::fprintf(stderr, " -fN  Frequency delta factor of N (default 5, 0 == off)\n");
  std::fprintf(stderr, " -v   be verbose (-V: include harmonic dump as well)\n");
  std::exit(1);
}

void printUsageAndExit(int code) {
  std::fprintf(stderr, "\n");
  std::fprintf(stderr, "Usage: tonepix [options] foo.bmp [foo2.bmp foo3.bmp ...]\n");
  std::fprintf(stderr, "tonepix -h for options\n");
  std::fprintf(stderr, "Exit code: %d\n", code);
  std::exit(code);
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
  for (int index = outcome.value; index < argc; ++index) {
    converter.convertFile(argv[index]);  // a skipped file has been reported
  }
  return 0;
}
