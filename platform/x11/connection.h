// The program's connection to an X11 display, as SDL opened it: what the
// server said about our windows and the host window, and what becomes of
// its errors.  One object, made before SDL starts its video system (SDL
// hands the errors it does not expect on to the handler it found), owned by
// the application.

#pragma once

#include <string>
#include <vector>

struct SDL_Window;
struct SDL_SysWMmsg;
struct _XDisplay;

namespace platform {

class X11Connection {
 public:
  // Xlib's own handlers print a dump of several lines and exit(), whose
  // static destructors would tear windows down over a connection that may
  // be dead.  Instead: a broken connection ends the process at once with
  // status 1 and one line, "<program>: lost the connection to the display
  // NAME"; an X error is kept, and the message loop asks CheckErrors after
  // every round, where it either finds the error explained (the host window
  // went away) or raises it as one line.
  explicit X11Connection(const std::string& programName);
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  // From now on the program is on its way out: X errors about what it is
  // letting go are expected and dropped.
  void IgnoreErrors() { ending_ = true; }

  // Raises Exception for the first X error since the last call that
  // nothing explains, naming the request and the window.  An error that
  // only says the host window is gone marks it gone instead.
  void CheckErrors();

  // Whether another program destroyed a window of ours.  SDL cannot take
  // such a window down any more: it would wait forever to see it unmapped.
  bool OwnWindowDestroyed() const { return destroyedOwn_; }

  // Makes an SDL window of the X11 window `window` (0: the root window),
  // which another program made and keeps: the window follows its size
  // changes and exposures, takes no input from it, and never shows, hides
  // or decorates it.  Throws Exception naming the window when there is
  // none, or none that can be drawn in (an input-only window, a pixmap).
  SDL_Window* AdoptForeignWindow(unsigned long window);
  // Whether the adopted window is gone: destroyed, as an event or an X
  // error on drawing into it said.
  bool ForeignWindowGone() const { return foreignWindowGone_; }
  // What we painted goes back to the window's own background (the owner is
  // told to repaint what it drew there), and its events are no longer ours.
  void ReleaseForeignWindow(SDL_Window* window);

  // Reads the raw X events SDL passes on: destruction, covering, the
  // window's state, the monitors.
  void NoteEvent(const SDL_SysWMmsg& message);

  // Whether the window's state (_NET_WM_STATE) changed since the last call.
  bool StateChanged(SDL_Window* window);
  // Whether others wholly cover the window, as the server last said.  A
  // server with a compositor never says so.
  bool FullyCovered(SDL_Window* window) const;
  // Asks the server to say when monitors are added, removed or moved
  // (RandR's notifications), for a view per monitor of the root window.
  void WatchMonitors(SDL_Window* window);
  // Whether the server said the monitors changed since the last call.
  bool MonitorsChanged();

  // Runs `check` with the X errors it causes caught; true when it failed.
  // The errors reach us through the process-wide handler, which Xlib allows
  // one of, so the handler finds the live connection through one static.
  template <typename Check>
  static bool Fails(_XDisplay* display, Check check) {
    bool failed = false;
    Trap(display, &failed);
    check();
    Trap(display, nullptr);
    return failed;
  }

 private:
  struct PendingError {
    bool set = false;
    _XDisplay* display = nullptr;
    int errorCode = 0;
    int requestCode = 0;
    int minorCode = 0;
    unsigned long resource = 0;
  };

  friend struct X11ErrorHandlers;
  // Syncs, then sends the errors to `failed` until called with nullptr.
  static void Trap(_XDisplay* display, bool* failed);

  // Only this thread talks to the display, and Xlib calls the handlers on
  // it, so plain values do.  The handlers may not talk to the server
  // themselves: they note what happened and the loop looks at it afterwards.
  std::string programName_;
  bool ending_ = false;
  // The window another program made that we draw in, and whether it is gone.
  unsigned long foreignWindow_ = 0;
  bool foreignWindowGone_ = false;
  PendingError pending_;  // the first X error nothing has looked at yet
  // Our own window destroyed by someone else, noticed from its
  // DestroyNotify or from the errors of drawing in it.
  bool destroyedOwn_ = false;
  unsigned long destroyedOwnWindow_ = 0;
  std::vector<unsigned long> coveredWindows_;  // as VisibilityNotify last said
  std::vector<unsigned long> changedStates_;   // _NET_WM_STATE changed since StateChanged looked
  int randrEvents_ = -1;                       // RandR's first event code, once watched
  bool monitorsChanged_ = false;
  bool* trappedError_ = nullptr;  // while set, errors go here: our own checks of a window
};

}  // namespace platform
