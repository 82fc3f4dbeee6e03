#include "stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace krvplayer {

namespace {

std::atomic<int> gStopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free word");

void OnStopSignal(int sig) {
  int none = 0;
  // The first signal asks; a second one means "now".
  if (!gStopSignal.compare_exchange_strong(none, sig)) ::_exit(128 + sig);
}

}  // namespace

void InstallStopSignals() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

int StopSignal() { return gStopSignal.load(); }

}  // namespace krvplayer
