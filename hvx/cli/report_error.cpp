#include <cstdio>
#include <string>

#include "hvx/cli/command.h"

void reportError(const std::string& subcommand, const std::string& message) {
  std::fprintf(stderr, "hvx %s: %s\n", subcommand.c_str(), message.c_str());
}
