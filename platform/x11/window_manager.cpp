#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

#include "platform/x11/connection.h"
#include "platform/x11/internal.h"
#include "platform/x11/x11.h"

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

// Whether a window manager that speaks EWMH runs: it names a window of its
// own on the root window, which exists.
bool WindowManagerRuns(Display* display) {
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window manager = 0;
  if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr && count == 1)
    manager = *reinterpret_cast<Window*>(data);
  if (data != nullptr) XFree(data);
  XWindowAttributes attributes;
  return manager != 0 && !X11Connection::Fails(display, [&] { XGetWindowAttributes(display, manager, &attributes); });
}

void HoldSize(Display* display, Window window, const drawing::Size* size) {
  XSizeHints* hints = XAllocSizeHints();
  long supplied = 0;
  XGetWMNormalHints(display, window, hints, &supplied);
  if (size == nullptr) {
    hints->flags &= ~(PMinSize | PMaxSize);
  } else {
    hints->flags |= PMinSize | PMaxSize;
    hints->min_width = hints->max_width = size->width;
    hints->min_height = hints->max_height = size->height;
  }
  XSetWMNormalHints(display, window, hints);
  XFree(hints);
}

}  // namespace

void SetFullScreen(SDL_Window* window, bool on, drawing::Box monitor, drawing::Box windowed) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, xwindow, &attributes);
  const bool mapped = attributes.map_state != IsUnmapped;
  const drawing::Size windowedSize{windowed.width, windowed.height};
  if (on) HoldSize(display, xwindow, nullptr);
  if (mapped && WindowManagerRuns(display)) {
    enum { kRemove = 0, kAdd = 1 };
    XEvent event{};
    event.xclient = {ClientMessage, 0, True, display, xwindow, state, 32, {}};
    event.xclient.data.l[0] = on ? kAdd : kRemove;
    event.xclient.data.l[1] = static_cast<long>(fullScreen);
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    // Read by a window manager when it maps the window; without one, ours
    // to keep, and to read back.
    if (on) {
      XChangeProperty(display, xwindow, state, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&fullScreen), 1);
    } else {
      XDeleteProperty(display, xwindow, state);
    }
    if (mapped) {
      const drawing::Box& to = on ? monitor : windowed;
      XMoveResizeWindow(display, xwindow, to.x, to.y, static_cast<unsigned>(to.width), static_cast<unsigned>(to.height));
      if (on) XRaiseWindow(display, xwindow);
    }
  }
  if (!on) HoldSize(display, xwindow, &windowedSize);
  XFlush(display);
}

bool InFullScreenState(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return false;
  const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = false;
  if (XGetWindowProperty(display, xwindow, XInternAtom(display, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM,
                         &type, &format, &count, &after, &data) == Success && data != nullptr && format == 32) {
    const auto* atoms = reinterpret_cast<const Atom*>(data);
    found = std::find(atoms, atoms + count, fullScreen) != atoms + count;
  }
  if (data != nullptr) XFree(data);
  return found;
}

void HoldSize(SDL_Window* window, const drawing::Size* size) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  HoldSize(display, xwindow, size);
  XFlush(display);
}

}  // namespace platform
