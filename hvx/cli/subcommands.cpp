#include "hvx/cli/subcommands.h"

std::vector<Subcommand> registerSubcommands(CLI::App& hvx) {
  std::vector<Subcommand> all;
  all.push_back(addPrepareCommand(hvx));
  all.push_back(addConvertCommand(hvx));
  all.push_back(addCheckCommand(hvx));
  all.push_back(addInfoCommand(hvx));
  all.push_back(addRenderCommand(hvx));
  all.push_back(addPictureCommand(hvx));
  all.push_back(addStudioCommand(hvx));
  return all;
}
