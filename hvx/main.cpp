// hvx: the companion of tonepix. Each subcommand lives in its own file and
// registers itself here.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <vector>

#include "cli/signals.h"
#include "command.h"
#include "subcommands.h"

namespace {
constexpr const char* kVersion = "hvx 1.0 (for tonepix 0.9b)";
}

void reportError(const std::string& subcommand, const std::string& message) {
  std::fprintf(stderr, "hvx %s: %s\n", subcommand.c_str(), message.c_str());
}

int main(int argc, char** argv) {
  // An interrupted write leaves no temporary file behind, as in tonepix.
  installSignalHandling();
  CLI::App app{"hvx: prepare pictures for tonepix, check them, and show and play voice files."};
  app.name("hvx");
  app.set_version_flag("--version", kVersion);
  app.require_subcommand(1);
  app.fallthrough(false);
  std::vector<Subcommand> subcommands = registerSubcommands(app);
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
