#include "platform/signals.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

namespace platform {
namespace {

constexpr int kSignals[2] = {SIGINT, SIGTERM};

// The process whose children must end with it, or 0 when none is guarded.
std::atomic<pid_t> guardedParent{0};

// Runs in a child right after fork, where only plain system calls are safe.
void EndWithGuardedParent() {
  const pid_t parent = guardedParent.load();
  if (parent == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The parent may have ended before that took effect.
  if (getppid() != parent) _exit(1);
}

}  // namespace

EndOnTerminationSignals::EndOnTerminationSignals() {
  static std::once_flag registered;
  std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, EndWithGuardedParent); });
  guardedParent = getpid();
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int i = 0; i < 2; ++i) {
    sigaction(kSignals[i], nullptr, &previous_[i]);
    const bool ignored = (previous_[i].sa_flags & SA_SIGINFO) == 0 && previous_[i].sa_handler == SIG_IGN;
    if (!ignored) sigaction(kSignals[i], &byDefault, nullptr);
  }
}

EndOnTerminationSignals::~EndOnTerminationSignals() {
  for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  guardedParent = 0;
}

}  // namespace platform
