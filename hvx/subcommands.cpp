#include "subcommands.h"

std::vector<Subcommand> registerSubcommands(CLI::App& hvx) {
  std::vector<Subcommand> all;
  all.push_back(registerStudio(hvx));
  return all;
}
