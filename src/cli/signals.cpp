#include "cli/signals.h"

#include <csignal>
#include <initializer_list>

#include "files/safe_replace.h"

namespace {

void onInterrupt(int signal) {
  if (deferDuringCreation(signal)) {
    return;  // raised again once the file being created is recorded
  }
  removePendingTemporary();
  // Back to the default action: the signal now ends the process with its
  // usual status once this handler returns.
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  sigemptyset(&usual.sa_mask);
  sigaction(signal, &usual, nullptr);
  std::raise(signal);
}

}  // namespace

void installSignalHandling() {
  struct sigaction interrupt {};
  interrupt.sa_handler = onInterrupt;
  sigemptyset(&interrupt.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &interrupt, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}
