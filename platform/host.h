// The loop every backend runs under, and the rules that are the same on
// every display: ending on a signal, the timers, what is presented and
// when, being seen, the views of the areas and the keys.

#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "drawing/canvas.h"
#include "platform/backend.h"
#include "platform/keys.h"
#include "platform/views.h"

namespace platform {

// What the loop tells the window's owner, each may be unset.
struct HostHooks {
  Views::Layout layout;          // how an area that fills shows its view
  std::function<void()> resized;  // the views changed
  std::function<void()> seen;     // somebody can see the window again
  std::function<void()> unseen;   // nobody can: nothing is presented meanwhile
  std::function<void()> click;
  std::function<void(Key)> programKey;  // M, + or -, as the key rule says
  std::function<void()> close;  // asked by the display or a close key; unset, the loop ends
  // Raises the timers that fell due, each once, and says when the next one
  // falls due: time_point::max() when none runs.  Unset, nothing is timed.
  std::function<std::chrono::steady_clock::time_point()> timers;
};

class Host {
 public:
  // `first` paints the first view; `client` is the view of an area that
  // does not fill, `background` the colour views show until painted.
  Host(Backend& backend, const Presentation& presentation, TCanvas& first, drawing::Size client,
       drawing::Pixel background, HostHooks hooks);

  // Opens the window, lays its views out and presents them.
  void Open(const WindowLook& look);
  // Delivers the display's events and the timers' until the window is
  // asked to close, the host window goes, Stop, or SIGINT or SIGTERM.
  void Run();
  void Stop() { stopped_ = true; }

  std::vector<View> ViewList() const { return views_.List(); }

 private:
  void Handle(const Event& event);
  void Lay();
  void PresentIfChanged();
  void Wait(std::chrono::steady_clock::time_point due);
  void Close();

  Backend& backend_;
  KeyRule keys_;
  Views views_;
  HostHooks hooks_;
  Presentation presentation_;
  bool seen_ = true;  // until the display says otherwise
  bool fullScreen_ = false;  // as the display last said
  bool stopped_ = false;
};

// From here on SIGINT and SIGTERM end Run as a close does.  Installed once
// and never taken back.
void CatchEndingSignals();
// Whether SIGINT or SIGTERM came since.
bool EndRequested();

}  // namespace platform
