// Shared by the platform's own files only: what SDL cannot say to an X11
// window manager or to Xlib by itself.

#pragma once

#include <string>
#include <vector>

#include "drawing/geometry.h"

struct SDL_Window;
struct SDL_SysWMmsg;

namespace platform {

struct FrameButtons {
  bool systemMenu;
  bool minimize;
  bool maximize;
  bool sizeable;
};

// Asks the window manager for exactly these frame buttons and functions.
// SDL only fixes the size of a window that cannot be resized, which leaves
// most window managers showing a maximise button that does nothing.  Does
// nothing on displays other than X11.
void SetFrameButtons(SDL_Window* window, const FrameButtons& buttons);

// --- X errors and the connection --------------------------------------------
//
// Xlib's own handlers print a dump of several lines and exit(), whose static
// destructors would tear windows down over a connection that may be dead.
// Instead: a broken connection ends the process at once with status 1 and
// one line, "<program>: lost the connection to the display NAME"; an X error
// is kept, and the message loop asks CheckXErrors after every round, where
// it either finds the error explained (the host window went away) or raises
// it as one line.  Call before SDL starts its video system: SDL hands the
// errors it does not expect on to the handler it found.
void HandleXErrors(const std::string& programName);

// From now on the program is on its way out: X errors about what it is
// letting go are expected and dropped.
void IgnoreXErrors();

// Raises Exception for the first X error since the last call that nothing
// explains, naming the request and the window.  An error that only says the
// host window is gone marks it gone (ForeignWindowGone) instead.
void CheckXErrors();

// Whether another program destroyed a window of ours.  SDL cannot take such
// a window down any more: it would wait forever to see it unmapped.
bool OwnWindowDestroyed();

// Waits until the display connection has something to read, `wakeFd` is
// readable, or `timeoutMs` (negative: no limit) has passed, with nothing
// already queued being left unread.  Returns false, at once, on displays
// other than X11, where the caller must wait its own way.
bool WaitForDisplay(SDL_Window* window, int wakeFd, int timeoutMs);

// --- Another program's window -----------------------------------------------

// Makes an SDL window of the X11 window `window` (0: the root window), which
// another program made and keeps: the window follows its size changes and
// exposures, takes no input from it, and never shows, hides or decorates it.
// Throws Exception naming the window when there is none, or none that can
// be drawn in (an input-only window, a pixmap).
SDL_Window* AdoptForeignWindow(unsigned long window);

// Reads the raw X events SDL passes on: the host window's destruction, and
// our own window's destruction by another program.
void NoteXEvent(const SDL_SysWMmsg& message);

// Whether the adopted window is gone: destroyed, as an event or an X error
// on drawing into it said.
bool ForeignWindowGone();

// Cleans up after drawing in another program's window: what we painted
// goes back to the window's own background (the owner is told to repaint
// what it drew there), and its events are no longer ours.
void ReleaseForeignWindow(SDL_Window* window);

// --- Screens ------------------------------------------------------------

// Whether the window is the root window of its screen.
bool IsRootWindow(SDL_Window* window);

// The monitors, in root window coordinates: RandR 1.5's list (which holds
// monitors made with `xrandr --setmonitor`), or the whole screen when the
// server has no such list.
std::vector<drawing::Box> Monitors(SDL_Window* window);

// Asks the server to say when monitors are added, removed or moved (RandR's
// notifications), for a view per monitor of the root window.
void WatchMonitors(SDL_Window* window);

// Whether the server said the monitors changed since the last call.
bool MonitorsChanged();

// The monitor that holds the mouse pointer; empty where that cannot be said.
drawing::Box MonitorHoldingPointer(SDL_Window* window);

// Full screen on the window's own terms.  A window manager is asked through
// the window's state (_NET_WM_STATE_FULLSCREEN) and sizes the window to its
// monitor; without one, the window is moved and sized to `monitor` itself,
// and back to `windowed` (client area in root coordinates).  Either way the
// size hints let it grow while it covers the screen and hold it to
// `windowed`'s size afterwards.  Before the window is mapped only the state
// is set, as the window manager reads it when it maps the window.
void SetFullScreen(SDL_Window* window, bool on, drawing::Box monitor, drawing::Box windowed);

// Whether the window's state says it covers the screen, by our asking or by
// the window manager's own doing.
bool InFullScreenState(SDL_Window* window);

// Whether the window's state (_NET_WM_STATE) changed since the last call.
bool StateChanged(SDL_Window* window);

// Lets the window manager give the window any size (nullptr), or holds it
// to `size`: a window of fixed size is not grown to full screen otherwise.
void HoldSize(SDL_Window* window, const drawing::Size* size);

// --- Being seen ---------------------------------------------------------

// Asks the server to say when the window is wholly covered and uncovered.
void WatchCovering(SDL_Window* window);

// Whether others wholly cover the window, as the server last said.  A
// server with a compositor never says so.
bool FullyCovered(SDL_Window* window);

// Whether the monitors are switched off (DPMS).  The server sends no news
// of it, so it must be asked; false where it cannot say.
bool MonitorsOff(SDL_Window* window);

// The X resource Xft.dpi as its text, empty when the display has none.
std::string XftDpi();

// Whether the key whose SDL keycode is `key` (a letter or a function key) is
// held down on the keyboard now, wherever it was pressed.
bool KeyHeld(SDL_Window* window, int key);

// Why SDL could not start its X11 video driver, in the user's words: no
// DISPLAY, a display that cannot be opened (named), or too little memory.
std::string WhyNoDisplay(const std::string& sdlError);

}  // namespace platform
