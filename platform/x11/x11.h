// What SDL cannot say to an X11 window manager or to Xlib by itself, for the
// platform's own files.  What depends on what the server said lives in the
// connection (platform/x11/connection.h).

#pragma once

#include <string>
#include <vector>

#include "drawing/geometry.h"
#include "platform/x11/connection.h"

struct SDL_Window;

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

// Waits until the display connection has something to read, `wakeFd` is
// readable, or `timeoutMs` (negative: no limit) has passed, with nothing
// already queued being left unread.  Returns false, at once, on displays
// other than X11, where the caller must wait its own way.
bool WaitForDisplay(SDL_Window* window, int wakeFd, int timeoutMs);

// --- Screens ------------------------------------------------------------

// Whether the window is the root window of its screen.
bool IsRootWindow(SDL_Window* window);

// The monitors, in root window coordinates: RandR 1.5's list (which holds
// monitors made with `xrandr --setmonitor`), or the whole screen when the
// server has no such list.
std::vector<drawing::Box> Monitors(SDL_Window* window);

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

// Lets the window manager give the window any size (nullptr), or holds it
// to `size`: a window of fixed size is not grown to full screen otherwise.
void HoldSize(SDL_Window* window, const drawing::Size* size);

// --- Being seen ---------------------------------------------------------

// Asks the server to say when the window is wholly covered and uncovered.
void WatchCovering(SDL_Window* window);

// Whether the monitors are switched off (DPMS).  The server sends no news
// of it, so it must be asked; false where it cannot say.
bool MonitorsOff(SDL_Window* window);

// The X resource Xft.dpi as its text, empty when the display has none.
// Asked before any window exists, over a connection of its own for a
// moment, since SDL lends its connection only through a window.
std::string XftDpi();

// Whether the key whose SDL keycode is `key` (a letter or a function key) is
// held down on the keyboard now, wherever it was pressed.
bool KeyHeld(SDL_Window* window, int key);

// Shows SDL's message box, or returns false.  Meanwhile SIGINT and SIGTERM
// end the program and the box at once, and the box ends with the program.
bool ShowBoxEndedBySignals(const std::string& title, const std::string& message);

// Why SDL could not start its X11 video driver, in the user's words: no
// DISPLAY, a display that cannot be opened (named), or too little memory.
std::string WhyNoDisplay(const std::string& sdlError);

}  // namespace platform
