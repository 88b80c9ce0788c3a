#include "platform/application.h"

#include <SDL.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/timer.h"
#include "platform/x11/x11.h"

namespace {

std::string SdlError() { return SDL_GetError(); }

std::atomic<pid_t> boxOwner{0};  // the program's process while its message box shows

// Runs in each child right after fork, where only plain system calls are
// safe: SDL's message box is a forked child, which must end with the program.
void EndWithBoxOwner() {
  const pid_t owner = boxOwner.load();
  if (owner == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != owner) _exit(1);  // the owner ended before that took effect
}

// Shows SDL's box, or returns false.  Meanwhile SIGINT and SIGTERM end the
// program and the box at once (SDL's handlers only queue a quit event, which
// the box never reads); a signal ignored since the start stays ignored.
bool ShowBoxEndedBySignals(const std::string& title, const std::string& message) {
  [[maybe_unused]] static const int registered = pthread_atfork(nullptr, nullptr, EndWithBoxOwner);
  constexpr int kEnding[2] = {SIGINT, SIGTERM};
  struct sigaction previous[2], byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int i = 0; i < 2; ++i) {
    sigaction(kEnding[i], nullptr, &previous[i]);
    if (previous[i].sa_handler != SIG_IGN) sigaction(kEnding[i], &byDefault, nullptr);
  }
  boxOwner = getpid();
  const bool shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), message.c_str(), nullptr) == 0;
  boxOwner = 0;
  for (int i = 0; i < 2; ++i) sigaction(kEnding[i], &previous[i], nullptr);
  return shown;
}

// SIGINT and SIGTERM ask the loop to end, as closing the window does.  The
// handler only notes it and wakes the loop's wait through a pipe.
volatile std::sig_atomic_t endRequested = 0;
int wakePipe[2] = {-1, -1};

extern "C" void RequestEnd(int) {
  const int saved = errno;
  endRequested = 1;
  const char byte = 0;
  if (wakePipe[1] >= 0) [[maybe_unused]] const auto written = write(wakePipe[1], &byte, 1);
  errno = saved;
}

// Installed once and never taken back: a signal that came while the program
// ends, after the loop, must not kill it with a status that says it was
// killed.  A signal ignored since the start stays ignored (nohup, a shell's
// background job).
void CatchEndingSignals() {
  if (wakePipe[0] >= 0 || pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = RequestEnd;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
  }
}

}  // namespace

TApplication* const Application = new TApplication;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() { Shutdown(); }

void TApplication::Shutdown() {
  // What the windows' going away makes the server say is no news now.
  if (initialized_) x11_->IgnoreErrors();
  // SDL would wait forever to see a window another program destroyed go
  // unmapped; the server frees all of ours once the process ends.
  if (initialized_ && x11_->OwnWindowDestroyed()) return;
  // Windows go while SDL still runs.
  TTimer::SetDelivering(false);
  DestroyComponents();
  mainForm_ = nullptr;
  if (!initialized_) return;
  SDL_Quit();
  initialized_ = false;
}

void TApplication::Initialize() {
  if (initialized_) return;
  CatchEndingSignals();
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Only real displays: without one SDL would quietly pick its invisible
  // "offscreen" driver and the program would run unseen.  An SDL_VIDEODRIVER
  // setting in the environment still takes precedence.  Wayland is named
  // only inside a Wayland session, where WAYLAND_DISPLAY is always set;
  // elsewhere trying it just adds libwayland's complaint to our message.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, std::getenv("WAYLAND_DISPLAY") != nullptr ? "x11,wayland" : "x11");
  // A desktop animation must not keep the screen saver away.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Nor switch off the desktop's compositor while it runs.
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_APP_NAME, Title.c_str());
  // SDL 2.26 takes the window class from these, or else from the
  // executable's file name.
  setenv("SDL_VIDEO_X11_WMCLASS", WindowClass.c_str(), 1);
  setenv("SDL_VIDEO_WAYLAND_WMCLASS", WindowClass.c_str(), 1);

  if (!x11_) x11_ = std::make_unique<platform::X11Connection>(Title);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    const bool chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
    throw Exception("Cannot open a window: " + (chosen ? SdlError() : platform::WhyNoDisplay(SdlError())));
  }
  // The raw X events of our windows and of a host window: their
  // destruction, later their state.
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  // On X11 the window surface goes through shared memory (XShm).  Left to
  // itself SDL would put it through OpenGL, which without a graphics driver
  // means a software renderer costing many times the CPU.  The drivers
  // without a window surface of their own (Wayland in SDL 2.26) need SDL's
  // default.
  const std::string driver = SDL_GetCurrentVideoDriver();
  if (driver == "x11" || driver == "offscreen" || driver == "dummy") {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  }
  initialized_ = true;
  TTimer::SetDelivering(true);
}

void TApplication::Run() {
  if (mainForm_ == nullptr) return;
  if (!initialized_) Initialize();
  terminated_ = false;
  mainForm_->x11_ = x11_.get();
  mainForm_->Show();
  running_ = true;
  // Timer events are made here, on this thread, when the loop finds a timer
  // due: no timer thread, nothing queued, and the loop sleeps in the display
  // connection's poll between frames.
  while (!terminated_) {
    SDL_Event event;
    while (!terminated_ && SDL_PollEvent(&event)) Dispatch(event);
    x11_->CheckErrors();
    // Whoever made the window drawn in has destroyed it: nothing is left to
    // show, and ending is the normal way out of it.
    if (terminated_ || endRequested != 0 || x11_->ForeignWindowGone()) break;
    TTimer::FireDue();
    PresentIfChanged();
    x11_->CheckErrors();
    if (!terminated_) Wait();
  }
  terminated_ = true;
}

bool TApplication::EndRequested() const { return endRequested != 0; }

void TApplication::Wait() const {
  int timeout = -1;
  if (TTimer::AnyRunning()) {
    // Whole milliseconds, rounded up so the loop does not wake just early.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(TTimer::NextDue() - TTimer::Clock::now());
    timeout = static_cast<int>(std::clamp<long long>(wait.count(), 0, 1000));
  }
  // Monitors that are off say nothing when they come back on.
  if (mainForm_->WaitsForMonitors()) timeout = timeout < 0 ? 1000 : std::min(timeout, 1000);
  if (timeout == 0 || platform::WaitForDisplay(mainForm_->Handle(), wakePipe[0], timeout)) return;
  // Elsewhere SDL waits, and a signal is seen at the latest after a quarter
  // of a second.
  SDL_WaitEventTimeout(nullptr, timeout < 0 ? 250 : std::min(timeout, 250));
}

void TApplication::Dispatch(const SDL_Event& event) {
  std::uint32_t windowId = 0;
  switch (event.type) {
    case SDL_QUIT:  // the last window closed, or the session asked us to end
      Terminate();
      return;
    case SDL_WINDOWEVENT: windowId = event.window.windowID; break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: windowId = event.key.windowID; break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: windowId = event.button.windowID; break;
    case SDL_SYSWMEVENT: x11_->NoteEvent(*event.syswm.msg); return;
    default: return;
  }
  if (windowId == mainForm_->WindowId()) mainForm_->HandleEvent(event);
}

void TApplication::PresentIfChanged() {
  mainForm_->PlaceClientArea();
  mainForm_->FollowState();
  mainForm_->FollowMonitors();
  mainForm_->CheckSeen();
  mainForm_->PresentIfChanged();
}

platform::DesktopScreen TApplication::Desktop() const {
  platform::DesktopScreen screen;
  SDL_Rect usable{};
  if (initialized_ && SDL_GetDisplayUsableBounds(0, &usable) == 0) {
    screen.usableWidth = usable.w;
    screen.usableHeight = usable.h;
  }
  if (initialized_) screen.xftDpi = platform::XftDpi();
  return screen;
}

std::string TApplication::VideoDriver() const { return initialized_ ? SDL_GetCurrentVideoDriver() : ""; }

bool TApplication::ShowsOnScreen() const {
  const std::string driver = VideoDriver();
  return initialized_ && driver != "dummy" && driver != "evdev" && driver != "offscreen";
}

void TApplication::ShowException(const Exception* exception, bool guest) {
  const std::string& message = exception->Message();
  const std::string title = Title + " - error";
  // SDL would show its box over X11 whatever driver runs; under one that
  // draws nowhere, the message must not appear where the program did not.
  // Without a display SDL falls back to running zenity, whose own warning
  // would take the place of our line.  Nor does a box come once the window
  // ran, or for a guest in another program's window: there the screen
  // belongs to someone else, and a window that just went away leaves nobody
  // to answer a box.
  if (!running_ && !guest && initialized_ && ShowsOnScreen() && ShowBoxEndedBySignals(title, message)) return;
  std::fprintf(stderr, "%s: %s\n", Title.c_str(), message.empty() ? "an unknown error occurred" : message.c_str());
}
