#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "test_support.h"

namespace {

// Parses `options` (without the program name) into a fresh Converter whose
// log is captured.
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

const char* const kHelp =
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

std::string usage(int code) {
  return "\nUsage: tonepix [options] foo.bmp [foo2.bmp foo3.bmp ...]\ntonepix -h for options\n"
         "Exit code: " +
         std::to_string(code) + "\n";
}

}  // namespace

TEST(ConverterState, StartsWithTheDefaults) {
  Converter c;
  EXPECT_STREQ(c.inputPath, "dummy.bmp");
  EXPECT_STREQ(c.outputPath, "output.hvx");
  EXPECT_STREQ(c.voiceName, "Test Voice");
  EXPECT_EQ(c.log, stderr);
  EXPECT_EQ(c.verbosity, 0);
  EXPECT_EQ(c.harmonicCount, 64);
  EXPECT_EQ(c.normalizePercent, 40);
  EXPECT_EQ(c.noiseFloorPercent, 0);
  EXPECT_EQ(c.decimatePercent, 0);
  EXPECT_EQ(bitsOf(c.interval), 0x3E99999Au);
  EXPECT_EQ(c.pointCount, 1);
  EXPECT_EQ(c.bpm, -1);
  EXPECT_EQ(c.plateauPercent, 0);
  EXPECT_EQ(c.randomPercent, 0);
  EXPECT_EQ(c.freqDelta, 5);
  EXPECT_EQ(c.amplitude[127][63], 0.0f);
  EXPECT_EQ(c.ratio[127][63], 0.0f);
}

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
      // The bounds are inside the range.
      {"-f0", &C::freqDelta, 0, ""}, {"-f100", &C::freqDelta, 100, ""},
      {"-n1", &C::normalizePercent, 1, ""}, {"-d0", &C::decimatePercent, 0, ""},
      {"-r100", &C::randomPercent, 100, ""}, {"-z99", &C::noiseFloorPercent, 99, ""},
      {"-t64", &C::harmonicCount, 64, ""}, {"-b1000", &C::bpm, 1000, ""},
      // Read like atoi: wrap-around modulo 2^32, blanks, trailing text, no digits.
      {"-t4294967297", &C::harmonicCount, 1, ""},
      {"-t2147483648", &C::harmonicCount, 1, "-t: harmonic too low, defaulting to 1\n"},
      {"-t 12x", &C::harmonicCount, 12, ""},
      {"-tabc", &C::harmonicCount, 1, "-t: harmonic too low, defaulting to 1\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    Parsed parsed = parse({c.option, "a.bmp"});
    EXPECT_EQ(parsed.outcome.kind, ParseOutcome::Kind::FirstFile);
    EXPECT_EQ(parsed.outcome.value, 2);
    EXPECT_EQ((*parsed.converter).*c.field, c.stored);
    EXPECT_EQ(parsed.log, c.message);
  }
}

TEST(OptionParsing, ReadsTheIntervalLikeAtofWithinSinglePrecisionBounds) {
  struct Case {
    const char* option;
    float stored;
    const char* message;
  };
  const char* low = "-i: interval too low, defaulting to 0.1 sec\n";
  const char* high = "-i: interval too high, defaulting to 8 sec\n";
  const Case cases[] = {
      {"-i0.1", 0.1f, low},  // the double 0.1 lies below float 0.1
      {"-i0.09", 0.1f, low},  {"-i8", 8.0f, ""},       {"-i8.01", 8.0f, high},
      {"-i0.5", 0.5f, ""},    {"-i.25", 0.25f, ""},    {"-i2.", 2.0f, ""},
      {"-i 5d-1", 0.5f, ""},  {"-i25D-1x", 2.5f, ""},  {"-i1e", 1.0f, ""},
      {"-i1e+1", 8.0f, high}, {"-i1e999", 8.0f, high}, {"-iinf", 0.1f, low},
      {"-inan", 0.1f, low},   {"-i0x1p3", 0.1f, low},  {"-i-2", 0.1f, low},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    Parsed parsed = parse({c.option, "a.bmp"});
    EXPECT_EQ(bitsOf(parsed.converter->interval), bitsOf(c.stored));
    EXPECT_EQ(parsed.log, c.message);
  }
  EXPECT_EQ(bitsOf(parse({"-i0.1"}).converter->interval), 0x3DCCCCCDu);
}

TEST(OptionParsing, TempoWinsOverIntervalWhereverItStands) {
  EXPECT_EQ(parse({"-b120", "-i2"}).converter->interval, 0.5f);
  EXPECT_EQ(parse({"-i2", "-b120"}).converter->interval, 0.5f);
  // Not held to the interval's range, and no message.
  Parsed fast = parse({"-b1000"});
  EXPECT_EQ(fast.converter->interval, static_cast<float>(60.0 / 1000));
  EXPECT_EQ(fast.log, "");
  EXPECT_EQ(parse({"-b10"}).converter->interval, 6.0f);
}

TEST(OptionParsing, ReportsTheOutcomeAsAKindWithANumber) {
  using Kind = ParseOutcome::Kind;
  struct Case {
    std::vector<std::string> args;
    Kind kind;
    int value;
    const char* log;
  };
  const Case cases[] = {
      {{"-v", "-t7", "a.bmp", "-x"}, Kind::FirstFile, 3, ""},
      {{"-v", "-V"}, Kind::FirstFile, 3, ""},
      {{"-t0", "-h", "-x"}, Kind::Help, 0, "-t: harmonic too low, defaulting to 1\n"},
      {{"-hz"}, Kind::Help, 0, ""},
      {{"-"}, Kind::Error, -2, ""},
      {{""}, Kind::Error, -2, ""},
      {{"-v", "a"}, Kind::Error, -2, ""},
      {{"--"}, Kind::Error, -20, "Unknown argument: -\n"},
      {{"-x5", "a.bmp"}, Kind::Error, -20, "Unknown argument: x5\n"},
      {{"-%s%n"}, Kind::Error, -20, "Unknown argument: %s%n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
    Parsed parsed = parse(c.args);
    EXPECT_EQ(parsed.outcome.kind, c.kind);
    EXPECT_EQ(parsed.outcome.value, c.value);
    EXPECT_EQ(parsed.log, c.log);
  }
  for (char letter : std::string("tibpfndrz")) {
    const ParseOutcome missing = parse({std::string("-") + letter, "a.bmp"}).outcome;
    EXPECT_EQ(missing.kind, Kind::Error);
    EXPECT_EQ(missing.value, std::string("tibp").find(letter) != std::string::npos ? 7 : 8);
  }
  EXPECT_EQ(parse({"-vx"}).converter->verbosity, 1);
  EXPECT_EQ(parse({"-V"}).converter->verbosity, 2);
}

TEST(OptionParsing, ExaminesLongOptionTextsWhole) {
  const std::string longValue = "-t" + std::string(300, '0') + "12";
  Parsed parsed = parse({longValue, "a.bmp"});
  EXPECT_EQ(parsed.converter->harmonicCount, 12);
  const std::string longUnknown = "-q" + std::string(300, 'w');
  EXPECT_EQ(parse({longUnknown}).log, "Unknown argument: " + longUnknown.substr(1) + "\n");
}

TEST(ProcessExit, HelpAndUsageCarryTheDocumentedStatuses) {
  TempDir dir;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  // clang-format off
  const Case cases[] = {
      {{}, 1, kHelp},
      {{"-h"}, 1, kHelp},
      {{"-t99", "-h", "-q"}, 1, std::string("-t: harmonic too high, defaulting to 64\n") + kHelp},
      {{"-"}, 254, usage(-2)},
      {{"x"}, 254, usage(-2)},
      {{"-v", "a", "b.bmp"}, 254, usage(-2)},
      {{"--"}, 236, "Unknown argument: -\n" + usage(-20)},
      {{"-t", "a.bmp"}, 7, usage(7)},
      {{"-i"}, 7, usage(7)},
      {{"-z", "a.bmp"}, 8, usage(8)},
      {{"-v"}, 163, "Need a .bmp file.\n" + usage(65443)},
      {{"-n0"}, 163, "-n: normalization ceiling too low, defaulting to 1%\nNeed a .bmp file.\n" + usage(65443)},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    RunResult run = runTonepix(c.args, dir.path());
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

TEST(ProcessExit, FileArgumentsAfterTheFirstAreNeverOptions) {
  TempDir dir;
  writePicture(dir.file("a.bmp"), 4, uniformPixels(4, 10));
  RunResult run = runTonepix({"a.bmp", "-v", "x"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "Found \"-v\" in place of .bmp file: Skipping...\n"
            "Found \"x\" in place of .bmp file: Skipping...\n");
  EXPECT_EQ(run.out, "6 = 2 .. 4 : 0.600000 .. 1.200000\n");
  EXPECT_TRUE(fileExists(dir.file("a.hvx")));
}
