#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/x11/x11.h"

namespace platform {

namespace {

std::atomic<pid_t> boxOwner{0};  // the program's process while its message box shows

// Runs in each child right after fork, where only plain system calls are
// safe: SDL's message box is a forked child, which must end with the program.
void EndWithBoxOwner() {
  const pid_t owner = boxOwner.load();
  if (owner == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != owner) _exit(1);  // the owner ended before that took effect
}

}  // namespace

// SDL's box, or false.  Meanwhile SIGINT and SIGTERM end the program and the
// box at once (SDL's handlers only queue a quit event, which the box never
// reads), and the box ends with the program; a signal ignored since the
// start stays ignored.
bool X11Backend::ShowError(const std::string& title, const std::string& message) {
  [[maybe_unused]] static const int registered = pthread_atfork(nullptr, nullptr, EndWithBoxOwner);
  constexpr int kEnding[2] = {SIGINT, SIGTERM};
  struct sigaction previous[2], byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int i = 0; i < 2; ++i) {
    sigaction(kEnding[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN) sigaction(kEnding[i], &byDefault, nullptr);
  }
  boxOwner = getpid();
  // SDL tries zenity before its own X11 box, and where zenity cannot start
  // its complaint takes our line's place: with no PATH to find it on, SDL
  // goes straight to the box it draws itself.
  const char* path = std::getenv("PATH");
  const std::string savedPath = path != nullptr ? path : "";
  setenv("PATH", "", 1);
  const bool shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), message.c_str(), nullptr) == 0;
  if (path != nullptr) setenv("PATH", savedPath.c_str(), 1);
  else unsetenv("PATH");
  boxOwner = 0;
  for (int i = 0; i < 2; ++i) sigaction(kEnding[i], &previous[i], nullptr);
  return shown;
}

}  // namespace platform
