#include "subcommands.h"

#include "voice_commands.h"

std::vector<Subcommand> registerSubcommands(CLI::App& hvx) {
  std::vector<Subcommand> all;
  all.push_back(registerInfo(hvx));
  all.push_back(registerRender(hvx));
  all.push_back(registerPicture(hvx));
  return all;
}
