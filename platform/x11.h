// Shared by the platform's own files only: what SDL cannot say to an X11
// window manager or to Xlib by itself.

#pragma once

#include <string>

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

// SDL 2.26 wakes its own message loop by sending an event to one of its
// windows over a second X connection.  When that happens just as the window
// is closed, the server may take the window's destruction first and refuse
// the event; Xlib's default error handler would then end the program with
// an X error instead of a clean exit.  This lets that one harmless refusal
// pass and hands every other X error on to Xlib's own handler.  Call it
// before SDL starts its video system: SDL puts back the handler it found
// just before it closes its connections, which is when the refusal is read.
void TolerateWakeupsOfClosedWindows();

// From now on a broken display connection ends the process at once with
// status 1 and one line, "<program>: lost the connection to the display
// NAME".  Xlib's own handler calls exit(), whose static destructors would
// tear windows down over the dead connection, where SDL can wait forever.
void EndProcessWhenDisplayIsLost(const std::string& programName);

// Makes an SDL window of the X11 window `window` (0: the root window), which
// another program made and keeps: the window follows its size changes and
// exposures, takes no input from it, and never shows, hides or decorates it.
// Returns nullptr with SDL's error set when there is no such window.
SDL_Window* AdoptForeignWindow(unsigned long window);

// Whether the adopted window is gone: destroyed, as `message` or an X error
// on drawing into it said.
void NoteForeignWindowEvent(const SDL_SysWMmsg& message);
bool ForeignWindowGone();

// The X resource Xft.dpi as its text, empty when the display has none.
std::string XftDpi();

}  // namespace platform
