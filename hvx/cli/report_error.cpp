#include <cstdio>
#include <string>

#include "hvx/cli/command.h"
#include "hvx/voice/printable_text.h"

void reportError(const std::string& subcommand, const std::string& message) {
  std::fprintf(stderr, "hvx %s: %s\n", subcommand.c_str(), printableText(message).c_str());
}
