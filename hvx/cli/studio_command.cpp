// hvx studio: a local page to see, hear and tune a voice.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "hvx/cli/subcommands.h"
#include "hvx/studio/http/studio_server.h"

namespace {

struct StudioCommand {
  StudioSettings settings;
  std::string listen;
};

bool isLoopbackAddress(const std::string& address) {
  return address == "127.0.0.1" || address == "localhost" || address == "::1";
}

int runStudio(const StudioCommand& command) {
  StudioSettings settings = command.settings;
  if (!command.listen.empty()) {
    settings.listenAddress = command.listen;
    if (!isLoopbackAddress(command.listen)) {
      reportError(
          "studio",
          "warning: listening on " + command.listen +
              ", not only on this machine; anyone who learns the address can use the studio");
    }
  }
  // SIGINT and SIGTERM are taken by one thread that stops the server, so
  // that the server ends its requests and returns cleanly. A shell starts
  // background jobs with SIGINT ignored, which would hide it from that thread.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  StudioServer server;
  std::string error;
  if (!server.start(settings, error)) {
    reportError("studio", error + (settings.port != 0 ? " (--port 0 picks a free port)" : ""));
    return kExitProblem;
  }
  std::printf("hvx studio: open %s\n", server.address().c_str());
  std::printf("Press Ctrl-C to stop.\n");
  std::fflush(stdout);
  std::atomic<bool> stopping{false};
  std::thread stopper([&server, &stopping, stopSignals]() {
    int received = 0;
    sigwait(&stopSignals, &received);
    stopping = true;
    server.stop();
  });
  server.run();
  if (!stopping) {
    kill(getpid(), SIGTERM);  // wakes the stopper, still blocked in its wait
  }
  stopper.join();
  std::printf("hvx studio: stopped\n");
  return kExitOk;
}

}  // namespace

Subcommand addStudioCommand(CLI::App& hvx) {
  auto command = std::make_shared<StudioCommand>();
  CLI::App* app = hvx.add_subcommand("studio", "Serve a local page to see, hear and tune a voice.");
  app->add_option("FOLDER", command->settings.folder,
                  "Folder whose pictures the page can open and into which it saves voices")
      ->check(CLI::ExistingDirectory);
  app->add_option("--port", command->settings.port, "Port to listen on (0: any free port)")
      ->check(CLI::Range(0, 65535))
      ->capture_default_str();
  app->add_option("--listen", command->listen,
                  "Address to listen on instead of 127.0.0.1 (lets other machines in)");
  return Subcommand{app, [command]() { return runStudio(*command); }};
}
