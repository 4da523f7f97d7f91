#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "cli/converter.h"
#include "test_support.h"

namespace {

struct Parsed {
  std::unique_ptr<Converter> converter = std::make_unique<Converter>();
  ParseOutcome outcome{ParseOutcome::Kind::Error, 0};
  std::string log;
};

Parsed parse(std::vector<std::string> options) {
  Parsed parsed;
  LogCapture capture(*parsed.converter);
  options.insert(options.begin(), "tonepix");
  std::vector<const char*> argv;
  for (const std::string& option : options) {
    argv.push_back(option.c_str());
  }
  parsed.outcome = parsed.converter->parseOptions(static_cast<int>(argv.size()), argv.data());
  parsed.log = capture.take();
  return parsed;
}

std::string usage(int code) {
  return "\nUsage: tonepix [options] foo.bmp [foo2.bmp foo3.bmp ...]\ntonepix -h for options\n"
         "Exit code: " +
         std::to_string(code) + "\n";
}

}  // namespace

TEST(OptionParsing, ClampsEveryIntegerOptionWithItsMessage) {
  using C = Converter;
  struct Case {
    const char* option;
    std::int32_t C::*field;
    std::int32_t stored;
    const char* message;
  };
  // clang-format off
  const Case cases[] = {
      {"-f-1", &C::freqDelta, 0, "-f: frequency delta too low, defaulting to 0 (off)\n"},
      {"-f101", &C::freqDelta, 100, "-f: frequency delta too high, defaulting to 100\n"},
      {"-n0", &C::normalizePercent, 1, "-n: normalization ceiling too low, defaulting to 1%\n"},
      {"-n101", &C::normalizePercent, 100, "-n: normalization ceiling too high, defaulting to 100%\n"},
      {"-d-1", &C::decimatePercent, 0, "-d: decimate factor too low, defaulting to 0%\n"},
      {"-d101", &C::decimatePercent, 100, "-d: decimate factor too high, defaulting to 100%\n"},
      {"-r-1", &C::randomPercent, 0, "-r: randommate factor too low, defaulting to 0%\n"},
      {"-r101", &C::randomPercent, 100, "-r: randommate factor too high, defaulting to 100%\n"},
      {"-z-5", &C::noiseFloorPercent, 0, "-z: noise floor too low, defaulting to 0%\n"},
      {"-z100", &C::noiseFloorPercent, 99, "-z: noise floor too high, defaulting to 99%\n"},
      {"-t0", &C::harmonicCount, 1, "-t: harmonic too low, defaulting to 1\n"},
      {"-t65", &C::harmonicCount, 64, "-t: harmonic too high, defaulting to 64\n"},
      {"-b9", &C::bpm, 10, "-b: bpm too low, defaulting to 10\n"},
      {"-b1001", &C::bpm, 1000, "-b: bpm too high, defaulting to 1000\n"},
      {"-p-1", &C::plateauPercent, 0, "-p: plateau time % too low, defaulting to 0% (off)\n"},
      {"-p101", &C::plateauPercent, 100, "-p: plateau time % too high, defaulting to 100% (full)\n"},
      {"-f0", &C::freqDelta, 0, ""}, {"-n100", &C::normalizePercent, 100, ""},
      {"-z99", &C::noiseFloorPercent, 99, ""}, {"-t64", &C::harmonicCount, 64, ""},
      {"-t4294967297", &C::harmonicCount, 1, ""},  // wraps modulo 2^32
      {"-t2147483648", &C::harmonicCount, 1, "-t: harmonic too low, defaulting to 1\n"},
      {"-t 12x", &C::harmonicCount, 12, ""},
      {"-tabc", &C::harmonicCount, 1, "-t: harmonic too low, defaulting to 1\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    Parsed parsed = parse({c.option, "a.bmp"});
    EXPECT_EQ(parsed.outcome.value, 2) << c.option;
    EXPECT_EQ((*parsed.converter).*c.field, c.stored) << c.option;
    EXPECT_EQ(parsed.log, c.message) << c.option;
  }
  EXPECT_EQ(parse({"-t" + std::string(300, '0') + "12"}).converter->harmonicCount, 12);
}

TEST(OptionParsing, ReadsTheIntervalLikeAtofAndLetsTheTempoWin) {
  const std::string low = "-i: interval too low, defaulting to 0.1 sec\n";
  const std::string high = "-i: interval too high, defaulting to 8 sec\n";
  const std::vector<std::tuple<const char*, float, std::string>> cases = {
      {"-i0.1", 0.1f, low},  // the double 0.1 lies below float 0.1
      {"-i8", 8.0f, ""},       {"-i8.01", 8.0f, high}, {"-i.25", 0.25f, ""},
      {"-i 5d-1", 0.5f, ""},   {"-i25D-1x", 2.5f, ""}, {"-i1e", 1.0f, ""},
      {"-i1e999", 8.0f, high}, {"-iinf", 0.1f, low},   {"-inan", 0.1f, low},
      {"-i0x1p3", 0.1f, low},
  };
  for (const auto& [option, stored, message] : cases) {
    Parsed parsed = parse({option});
    EXPECT_EQ(bitsOf(parsed.converter->interval), bitsOf(stored)) << option;
    EXPECT_EQ(parsed.log, message) << option;
  }
  EXPECT_EQ(parse({"-b120", "-i2"}).converter->interval, 0.5f);
  EXPECT_EQ(parse({"-i2", "-b120"}).converter->interval, 0.5f);
  EXPECT_EQ(parse({"-b1000"}).converter->interval, static_cast<float>(60.0 / 1000));
  EXPECT_EQ(parse({"-vx"}).converter->verbosity, 1);
}

TEST(ProcessExit, EveryCommandLineFaultHasItsStatusAndText) {
  const std::string help =
      "tonepix version 0.9b alphoid!\n"
      "Usage: tonepix [options] foo.bmp [foo2.bmp foo3.bmp ...]\n"
      " -h   print this help\n"
      " -tN  truncate at N harmonics (default 64)\n"
      " -iN  Envelope intervals at N seconds (0.1..8.0, default 0.3 sec)\n"
      " -bN  sync to N bpm (default off (uses -i instead))\n"
      " -pN  plateau interval length N% (default 0% == off)\n"
      " -dN  decimate: mute random N% of harmonics read (default 0%)\n"
      " -rN  generate random values for N% of harmonics (default 0%)\n"
      " -zN  Cut noise threshold at N% (default 0%, before normalization)\n"
      " -nN  Normalize values to N% max (default 40%)\n"
      " -fN  Frequency delta factor of N (default 5, 0 == off)\n"
      " -v   be verbose (-V: include harmonic dump as well)\n";
  // clang-format off
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{}, 1, help},
      {{"-t99", "-h", "-q"}, 1, "-t: harmonic too high, defaulting to 64\n" + help},
      {{"-"}, 254, usage(-2)},
      {{"-v", "a", "b.bmp"}, 254, usage(-2)},
      {{"--"}, 236, "Unknown argument: -\n" + usage(-20)},
      {{"-%s%n"}, 236, "Unknown argument: %s%n\n" + usage(-20)},
      {{"-t", "a.bmp"}, 7, usage(7)}, {{"-i"}, 7, usage(7)}, {{"-b"}, 7, usage(7)}, {{"-p"}, 7, usage(7)},
      {{"-f"}, 8, usage(8)}, {{"-n"}, 8, usage(8)}, {{"-d"}, 8, usage(8)}, {{"-r"}, 8, usage(8)},
      {{"-z", "a.bmp"}, 8, usage(8)},
      {{"-n0"}, 163, "-n: normalization ceiling too low, defaulting to 1%\nNeed a .bmp file.\n" + usage(65443)},
  };
  // clang-format on
  TempDir dir;
  for (const auto& [args, status, err] : cases) {
    const RunResult run = runTonepix(args, dir.path());
    EXPECT_EQ(run.status, status) << (args.empty() ? "" : args[0]);
    EXPECT_EQ(run.err, err) << (args.empty() ? "" : args[0]);
  }
  // Arguments after the first file are files, even when they look like options.
  writePicture(dir.file("a.bmp"), 4, 10);
  const RunResult run = runTonepix({"a.bmp", "-v"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "Found \"-v\" in place of .bmp file: Skipping...\n");
  EXPECT_EQ(run.out, "6 = 2 .. 4 : 0.600000 .. 1.200000\n");
}
