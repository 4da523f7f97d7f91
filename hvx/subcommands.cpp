#include "subcommands.h"

std::vector<Subcommand> registerSubcommands(CLI::App& hvx) {
  std::vector<Subcommand> all;
  all.push_back(addPrepareCommand(hvx));
  all.push_back(addCheckCommand(hvx));
  return all;
}
