// hvx convert: tonepix's own conversion with the generator seeded from the
// command line before every picture, so that detune and random shaping come
// out the same each run and a picture's voice does not depend on the pictures
// before it (tonepix itself draws every picture from one clock-seeded run).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/converter.h"
#include "cli/driver.h"
#include "cli/option_table.h"
#include "common/random_source.h"
#include "hvx/cli/subcommands.h"

namespace {

struct ConvertOptions {
  std::uint32_t seed = 0;
};

// Why tonepix's parser stopped the run before any picture, as a clause.
std::string refusal(const ParseOutcome& outcome) {
  if (outcome.kind == ParseOutcome::Kind::Help) {
    return "-h is hvx's own: tonepix's options are listed by hvx convert --help";
  }
  if (outcome.kind == ParseOutcome::Kind::FirstFile) {
    return "name at least one picture";
  }
  switch (outcome.value) {
    case kArgumentTooShort:
      return "an argument before the first picture has fewer than two characters";
    case kUnknownOption:
      return "tonepix has no such option";
    default:  // kMissingTimingValue, kMissingShapingValue
      return "a tonepix option lacks its value, which follows the letter directly (-t32)";
  }
}

int runConvert(const ConvertOptions& options, const std::vector<std::string>& words) {
  // tonepix's parser takes a command line whose first word is the program.
  std::vector<const char*> argv{"hvx convert"};
  for (const std::string& word : words) {
    argv.push_back(word.c_str());
  }
  const int argc = static_cast<int>(argv.size());
  auto converter = std::make_unique<Converter>();  // its matrices are too big for a stack
  const ParseOutcome outcome = converter->parseOptions(argc, argv.data());
  const bool pictureNamed = outcome.kind == ParseOutcome::Kind::FirstFile && outcome.value < argc;
  if (!pictureNamed) {
    reportError("convert", refusal(outcome) + " (see hvx convert --help)");
    return kExitUsage;
  }
  int failed = 0;
  for (int index = outcome.value; index < argc; ++index) {
    // After construction, which seeds from the clock; the studio seeds alike.
    RandomSource::seed(options.seed);
    failed += convertFiles(*converter, index, index + 1, argv.data());
  }
  return failed == 0 ? kExitOk : kExitProblem;
}

std::string optionHelp() {
  std::string text;
  for (const ToneOption& option : kToneOptions) {
    if (option.letter == 'h') {
      continue;  // -h is hvx's own here
    }
    char line[128];
    formatOptionHelp(option, line, sizeof line);
    text += line;
  }
  return text;
}

}  // namespace

Subcommand addConvertCommand(CLI::App& hvx) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* app = hvx.add_subcommand(
      "convert", "Convert pictures as tonepix does, with the random generator seeded by --seed.");
  app->footer(
      "Usage: hvx convert --seed N [tonepix options] picture.bmp...\n"
      "Each picture's voice is written beside it with the same bytes, messages and summary line\n"
      "as tonepix's. The generator is seeded with N before each picture, so a picture's voice\n"
      "is the same alone or in a batch, and the studio's with seed N; a run repeats every\n"
      "byte, detune and random shaping included. The tonepix options (the value follows the\n"
      "letter directly):\n" +
      optionHelp() +
      "Exit status: 0 when every voice was written, 1 when a picture was skipped or its voice\n"
      "not written, 2 for a usage error.");
  app->add_option("--seed", options->seed, "Seed of the random generator, 0 to 4294967295")
      ->required();
  // Everything else is tonepix's: its options, then the pictures.
  app->allow_extras();
  return Subcommand{app, [options, app] { return runConvert(*options, app->remaining()); }};
}
