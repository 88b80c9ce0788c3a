// Kept apart from the rest: the X11 headers define macros such as None and
// Window that clash with ordinary names.

#include "platform/x11.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xresource.h>

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

// The window another program made that we draw in, and whether it is gone.
// Only this thread talks to the display, so plain values do.
Window foreignWindow = 0;
bool foreignWindowGone = false;

int IgnoreRefusedWakeups(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  if (foreignWindow != 0) {
    // Its owner may destroy the window at any moment; what we send it then
    // is refused, which only says that it is gone.
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) && error->resourceid == foreignWindow) {
      foreignWindowGone = true;
      return 0;
    }
    // SDL looks for the parent of a resized window to place it, and the
    // root window, resized with its screen, has none.
    if (error->error_code == BadWindow && error->request_code == X_TranslateCoords && error->resourceid == 0) return 0;
  }
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

SDL_Window* AdoptForeignWindow(unsigned long window) {
  // Left alone, SDL would mark the window as a place to drop files on.
  SDL_EventState(SDL_DROPFILE, SDL_DISABLE);
  SDL_EventState(SDL_DROPTEXT, SDL_DISABLE);
  // Its destruction reaches us only as a raw X event.
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  if (window == 0) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
      SDL_SetError("cannot open the display %s", XDisplayName(nullptr));
      return nullptr;
    }
    window = DefaultRootWindow(display);
    XCloseDisplay(display);
  }
  foreignWindow = window;
  foreignWindowGone = false;
  SDL_Window* adopted = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(window)));
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (adopted == nullptr || !SDL_GetWindowWMInfo(adopted, &info) || info.subsystem != SDL_SYSWM_X11) {
    if (adopted != nullptr) SDL_DestroyWindow(adopted);
    foreignWindow = 0;
    return nullptr;
  }
  // SDL selects no events on a window it did not make.  Ask for its size
  // changes, its destruction and its exposures, and never for input: on the
  // root window another client may hold the button presses, and the server
  // would refuse a second one.
  Display* display = info.info.x11.display;
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, window, &attributes);
  XSelectInput(display, window, attributes.your_event_mask | StructureNotifyMask | ExposureMask);
  XSync(display, False);
  if (foreignWindowGone) {
    SDL_DestroyWindow(adopted);
    foreignWindow = 0;
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", window);
    SDL_SetError("there is no X11 window %s", id);
    return nullptr;
  }
  return adopted;
}

void NoteForeignWindowEvent(const SDL_SysWMmsg& message) {
  if (message.subsystem != SDL_SYSWM_X11 || foreignWindow == 0) return;
  const XEvent& event = message.msg.x11.event;
  if (event.type == DestroyNotify && event.xdestroywindow.window == foreignWindow) foreignWindowGone = true;
}

bool ForeignWindowGone() { return foreignWindowGone; }

std::string XftDpi() {
  std::string dpi;
  // A connection of our own: SDL lends its one only through a window.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return dpi;
  if (const char* resources = XResourceManagerString(display)) {
    XrmInitialize();
    if (XrmDatabase database = XrmGetStringDatabase(resources)) {
      char* type = nullptr;
      XrmValue value{};
      if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) dpi = value.addr;
      XrmDestroyDatabase(database);
    }
  }
  XCloseDisplay(display);
  return dpi;
}

}  // namespace platform
