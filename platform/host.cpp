#include "platform/host.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace platform {

namespace {

// The handler only notes the signal and wakes the loop's wait through a pipe.
volatile std::sig_atomic_t endRequested = 0;
int wakePipe[2] = {-1, -1};

extern "C" void RequestEnd(int) {
  const int saved = errno;
  endRequested = 1;
  const char byte = 0;
  if (wakePipe[1] >= 0) [[maybe_unused]] const auto written = write(wakePipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

// Never taken back: a signal that comes while the program ends, after the
// loop, must not kill it with a status that says it was killed.  A signal
// ignored since the start stays ignored (nohup, a shell's background job).
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

bool EndRequested() { return endRequested != 0; }

Host::Host(Backend& backend, const Presentation& presentation, TCanvas& first, drawing::Size client,
           drawing::Pixel background, HostHooks hooks)
    : backend_(backend),
      keys_(presentation.kind),
      views_(first, client, background),
      hooks_(std::move(hooks)),
      presentation_(presentation) {}

void Host::Open(const WindowLook& look) {
  backend_.Open(look, presentation_);
  Lay();
  PresentIfChanged();
}

void Host::Lay() {
  if (views_.Lay(backend_.Areas(), backend_.Pixels(), hooks_.layout) && hooks_.resized) hooks_.resized();
}

void Host::Close() {
  if (hooks_.close) {
    hooks_.close();
  } else {
    Stop();
  }
}

void Host::Handle(const Event& event) {
  switch (event.kind) {
    case Event::kAreasChanged: Lay(); return;
    case Event::kSeen:
    case Event::kUnseen:
    {
      const bool seen = event.kind == Event::kSeen;
      if (seen == seen_) return;
      seen_ = seen;
      const auto& hook = seen ? hooks_.seen : hooks_.unseen;
      if (hook) hook();
      return;
    }
    case Event::kFocus: keys_.Focus(event.held); return;
    case Event::kKeyDown:
      switch (keys_.KeyDown(event.key, event.repeat, event.modifiers)) {
        case KeyRule::Action::kClose: Close(); return;
        case KeyRule::Action::kFullScreen: backend_.SetFullScreen(true); return;
        case KeyRule::Action::kWindowed: backend_.SetFullScreen(false); return;
        case KeyRule::Action::kProgram:
          if (hooks_.programKey) hooks_.programKey(event.key);
          return;
        case KeyRule::Action::kNothing: return;
      }
      return;
    case Event::kKeyUp: keys_.KeyUp(event.key); return;
    case Event::kClick:
      if (hooks_.click) hooks_.click();
      return;
    case Event::kCloseAsked: Close(); return;
    // Whoever made the window drawn in has destroyed it: nothing is left to
    // show, and ending is the normal way out of it.
    case Event::kHostGone: Stop(); return;
  }
}

void Host::PresentIfChanged() {
  if (!seen_ || !views_.Changed() || !backend_.ReadyToPresent()) return;
  const std::vector<drawing::Box> changed = views_.Show(backend_.Pixels());
  backend_.Present(changed);
}

void Host::Wait(std::chrono::steady_clock::time_point due) {
  int timeout = -1;
  if (due != std::chrono::steady_clock::time_point::max()) {
    // Whole milliseconds, rounded up so the loop does not wake just early.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
    timeout = static_cast<int>(std::clamp<long long>(wait.count(), 0, 1000));
  }
  if (timeout != 0) backend_.Wait(wakePipe[0], timeout);
}

// Timer events are made here, on this thread, when the loop finds a timer
// due: no timer thread, nothing queued, and the loop sleeps in the
// display's wait between frames.
void Host::Run() {
  stopped_ = false;
  std::vector<Event> events;
  while (!stopped_) {
    events.clear();
    backend_.Dispatch(events);
    for (const Event& event : events)
      if (!stopped_) Handle(event);
    if (stopped_ || endRequested != 0) break;
    // Only news of the state counts: the state before the display took in
    // a burst of presses would otherwise pass for the window manager's own.
    if (const bool fullScreen = backend_.FullScreen(); fullScreen != fullScreen_) {
      fullScreen_ = fullScreen;
      keys_.Follow(fullScreen);
    }
    // The first Pixels() of a frame may hand out another buffer, which
    // need not be brought up to date where the views are repainted anyway.
    backend_.WillRepaint(views_.Repainted());
    views_.Attach(backend_.Pixels());
    const auto due = hooks_.timers ? hooks_.timers() : std::chrono::steady_clock::time_point::max();
    PresentIfChanged();
    if (!stopped_) Wait(due);
  }
  stopped_ = true;
}

}  // namespace platform
