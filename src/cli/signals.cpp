#include "cli/signals.h"

#include <csignal>
#include <initializer_list>

#include "voice/safe_replace.h"

namespace {

void onInterrupt(int signal) {
  removePendingTemporary();
  // The handler was reset on entry: the signal now ends the process with its
  // usual status once this handler returns.
  std::raise(signal);
}

}  // namespace

void installSignalHandling() {
  struct sigaction interrupt {};
  interrupt.sa_handler = onInterrupt;
  interrupt.sa_flags = static_cast<int>(SA_RESETHAND);
  sigemptyset(&interrupt.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &interrupt, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}
