// What the keys do, the same on every display: a close key counts only when
// freshly pressed in the window, F11 toggles full screen, Escape ends a
// --fullscreen start and takes F11's full screen back, and M, + and - are
// the program's own (the sound's) in a window of its own.

#pragma once

#include <set>
#include <span>

#include "platform/backend.h"

namespace platform {

class KeyRule {
 public:
  // kProgram: a key the program gives its own meaning (M, +, -).
  enum class Action { kNothing, kClose, kFullScreen, kWindowed, kProgram };

  // `kind` is where the animation is shown; only a window of its own goes
  // in and out of full screen.
  explicit KeyRule(Presentation::Kind kind) : kind_(kind) {}

  // The window took the keyboard with `held` already down: those keys do
  // nothing until released, as X repeats a key held from another window
  // here once this one has the focus.
  void Focus(std::span<const Key> held);
  Action KeyDown(Key key, bool repeat, const Modifiers& modifiers);
  void KeyUp(Key key);

  // The full screen the presses asked for.  Each F11 toggles this, not the
  // server's state, which lags behind a burst of presses.
  bool WantsFullScreen() const { return wantsFullScreen_; }
  // The window's state changed to `fullScreen`.  Once it shows what the
  // presses asked for, a later change is the window manager's own doing,
  // which the next F11 or Escape then undoes.
  void Follow(bool fullScreen);

 private:
  Presentation::Kind kind_;
  bool wantsFullScreen_ = false;
  bool asked_ = false;  // the window's state has not yet shown wantsFullScreen_
  std::set<Key> heldSinceFocus_;
};

}  // namespace platform
