// hvx studio: a local page to see, hear and tune a voice.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "hvx/cli/subcommands.h"
#include "hvx/studio/http/studio_server.h"

namespace {

struct StudioCommand {
  StudioSettings settings;
  std::string listen;
};

// The folder this program was started from.
std::string ownFolder() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) {
    return "";
  }
  const std::string self(path, static_cast<std::size_t>(length));
  return self.substr(0, self.rfind('/'));
}

// The server runs as a program of its own, so that no other subcommand
// loads it: beside hvx in a build folder, or where it is installed.
int runStudio(const StudioCommand& command) {
  const std::string folder = ownFolder();
  const std::string port = std::to_string(command.settings.port);
  for (const std::string& program :
       {folder + "/hvx-studio", folder + "/" HVX_STUDIO_FROM_BINDIR "/hvx-studio"}) {
    if (::access(program.c_str(), X_OK) == 0) {
      const char* const arguments[] = {"hvx-studio", port.c_str(), command.listen.c_str(),
                                       command.settings.folder.c_str(), nullptr};
      ::execv(program.c_str(), const_cast<char* const*>(arguments));
      reportError("studio", "cannot run " + program + ": " + std::strerror(errno));
      return kExitProblem;
    }
  }
  reportError("studio", "cannot find hvx-studio beside hvx or in " HVX_STUDIO_FROM_BINDIR);
  return kExitProblem;
}

}  // namespace

Subcommand addStudioCommand(CLI::App& hvx) {
  auto command = std::make_shared<StudioCommand>();
  CLI::App* app = hvx.add_subcommand("studio", "Serve a local page to see, hear and tune a voice.");
  app->footer(
      "The page opens a picture (prepared as hvx prepare does), a sound (analysed as hvx analyze\n"
      "does) or a voice file (drawn as hvx picture --absolute draws it, played as it is, edited "
      "at\n"
      "its own points, its loop moved, saved under a new name).\n\n"
      "Exit status: 0 stopped by Ctrl-C or SIGTERM, 1 the server could not start, 2 a usage "
      "error.");
  app->add_option(
         "FOLDER", command->settings.folder,
         "Folder whose pictures, sounds and voices the page can open and into which it saves")
      ->check(CLI::ExistingDirectory);
  app->add_option("--port", command->settings.port, "Port to listen on (0: any free port)")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  app->add_option("--listen", command->listen,
                  "Address to listen on instead of 127.0.0.1 (lets other machines in)");
  return Subcommand{app, [command]() { return runStudio(*command); }};
}
