// hvx-studio: the studio's server, run by `hvx studio` (which has checked
// its options) as: hvx-studio PORT LISTEN FOLDER, LISTEN and FOLDER possibly
// empty.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "hvx/cli/command.h"
#include "hvx/studio/http/studio_server.h"

namespace {

bool isLoopbackAddress(const std::string& address) {
  return address == "127.0.0.1" || address == "localhost" || address == "::1";
}

int runStudio(StudioSettings settings, const std::string& listen) {
  if (!listen.empty()) {
    settings.listenAddress = listen;
    if (!isLoopbackAddress(listen)) {
      reportError(
          "studio",
          "warning: listening on " + listen +
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

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "hvx-studio: run it as hvx studio (see hvx studio --help)\n");
    return kExitUsage;
  }
  StudioSettings settings;
  settings.port = std::atoi(argv[1]);
  settings.folder = argv[3];
  return runStudio(settings, argv[2]);
}
