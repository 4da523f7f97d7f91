// hvx: the companion of tonepix. Each subcommand lives in its own file and
// registers itself here.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <vector>

#include "cli/signals.h"
#include "hvx/cli/command.h"
#include "hvx/cli/subcommands.h"

namespace {
constexpr const char* kVersion = "hvx 1.0 (for tonepix 0.9b)";
}

namespace {

// The parser reports a missing argument before an unknown word; a user who
// mistyped a subcommand or an option should hear about that first.
bool reportUnknownWords(const CLI::App& app, int argc, char** argv) {
  const CLI::App* chosen = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") {
      return false;
    }
    if (chosen == nullptr) {
      if (word.empty() || word[0] == '-') {
        continue;  // hvx's own options: the parser judges them
      }
      const auto named =
          app.get_subcommands([&word](const CLI::App* sub) { return sub->check_name(word); });
      chosen = named.empty() ? nullptr : named.front();
      if (chosen == nullptr) {
        std::fprintf(stderr, "hvx: unknown subcommand \"%s\" (see hvx --help)\n", word.c_str());
        return true;
      }
      continue;
    }
    if (word.size() < 2 || word[0] != '-' || chosen->get_allow_extras()) {
      continue;  // a subcommand that takes other programs' options judges them itself
    }
    const std::string name = word.substr(0, word.find('='));
    const bool known = chosen->get_option_no_throw(name) != nullptr ||
                       (name.size() > 2 && name[1] != '-' &&  // -o value written as -ovalue
                        chosen->get_option_no_throw(name.substr(0, 2)) != nullptr);
    if (!known) {
      std::fprintf(stderr, "hvx %s: unknown option \"%s\" (see hvx %s --help)\n",
                   chosen->get_name().c_str(), name.c_str(), chosen->get_name().c_str());
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // An interrupted write leaves no temporary file behind, as in tonepix.
  installSignalHandling();
  CLI::App app{
      "hvx: prepare pictures for tonepix, check them, show and play voice files, and start "
      "voices from sounds."};
  app.footer(
      "Exit status: 0 all went well, 1 a file was refused, invalid or not written, 2 a usage "
      "error.\nhvx SUBCOMMAND --help describes each; man hvx explains them all.");
  app.name("hvx");
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  app.fallthrough(false);
  std::vector<Subcommand> subcommands = registerSubcommands(app);
  if (reportUnknownWords(app, argc, argv)) {
    return kExitUsage;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return app.exit(done);  // --help or --version, printed on standard output
  } catch (const CLI::ParseError& error) {
    std::string where = "hvx";
    for (const CLI::App* sub : app.get_subcommands()) {
      where += " " + sub->get_name();
    }
    std::fprintf(stderr, "%s: %s (see %s --help)\n", where.c_str(), error.what(), where.c_str());
    return kExitUsage;
  }
  for (const Subcommand& subcommand : subcommands) {
    if (app.got_subcommand(subcommand.app)) {
      return subcommand.run();
    }
  }
  return kExitUsage;
}
