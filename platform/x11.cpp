// Kept apart from the rest: the X11 headers define macros such as None and
// Window that clash with ordinary names.

#include "platform/x11.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>

namespace platform {

void SetFrameButtons(SDL_Window* window, const FrameButtons& buttons) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;

  // The Motif window manager hints, which window managers still read.
  enum : unsigned long {
    kFunctions = 1, kDecorations = 2,
    kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncMaximize = 16, kFuncClose = 32,
    kDecorBorder = 2, kDecorResize = 4, kDecorTitle = 8, kDecorMenu = 16, kDecorMinimize = 32,
    kDecorMaximize = 64,
  };
  unsigned long functions = kFuncMove;
  unsigned long decorations = kDecorBorder | kDecorTitle;
  if (buttons.systemMenu) {
    functions |= kFuncClose;
    decorations |= kDecorMenu;
  }
  if (buttons.minimize) {
    functions |= kFuncMinimize;
    decorations |= kDecorMinimize;
  }
  if (buttons.maximize && buttons.sizeable) {
    functions |= kFuncMaximize;
    decorations |= kDecorMaximize;
  }
  if (buttons.sizeable) {
    functions |= kFuncResize;
    decorations |= kDecorResize;
  }
  // flags, functions, decorations, input mode, status
  long hints[5] = {static_cast<long>(kFunctions | kDecorations), static_cast<long>(functions),
                   static_cast<long>(decorations), 0, 0};
  Display* display = info.info.x11.display;
  const Atom motifHints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(display, info.info.x11.window, motifHints, motifHints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
  XFlush(display);
}

namespace {

XErrorHandler previousErrorHandler = nullptr;

int IgnoreRefusedWakeups(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return previousErrorHandler != nullptr ? previousErrorHandler(display, error) : 0;
}

// A plain array, so that nothing the handler reads is ever destroyed.
char lostDisplayProgram[64] = "";

int EndOnLostDisplay(Display* display) {
  std::fprintf(stderr, "%s: lost the connection to the display %s\n", lostDisplayProgram, DisplayString(display));
  std::_Exit(1);
}

}  // namespace

void TolerateWakeupsOfClosedWindows() {
  XErrorHandler previous = XSetErrorHandler(IgnoreRefusedWakeups);
  if (previous != IgnoreRefusedWakeups) previousErrorHandler = previous;
}

void EndProcessWhenDisplayIsLost(const std::string& programName) {
  std::snprintf(lostDisplayProgram, sizeof lostDisplayProgram, "%s", programName.c_str());
  XSetIOErrorHandler(EndOnLostDisplay);
}

}  // namespace platform
