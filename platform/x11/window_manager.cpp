#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

#include "platform/x11/x11.h"

namespace platform {

namespace {

// The 32-bit items of the window's property `name` (at most `most`): its
// atoms or windows.
std::vector<unsigned long> Property(Display* display, Window window, const char* name, Atom type, long most) {
  Atom actualType = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> items;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, most, False, type, &actualType, &format,
                         &count, &after, &data) == Success && data != nullptr && format == 32) {
    const auto* values = reinterpret_cast<const unsigned long*>(data);
    items.assign(values, values + count);
  }
  if (data != nullptr) XFree(data);
  return items;
}

// Whether a window manager that speaks EWMH runs: it names a window of its
// own on the root window, which exists.
bool WindowManagerRuns(Display* display) {
  const auto manager = Property(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, 1);
  XWindowAttributes attributes;
  return manager.size() == 1 && manager[0] != 0 &&
         !X11Backend::Fails(display, [&] { XGetWindowAttributes(display, manager[0], &attributes); });
}

}  // namespace

void SetFrameButtons(Display* display, Window window, bool minimize) {
  // The Motif window manager hints, which window managers still read: flags
  // (functions, decorations), functions, decorations, input mode, status.
  constexpr long kMove = 4, kMinimize = 8, kClose = 32;
  constexpr long kBorder = 2, kTitle = 8, kMenu = 16, kMinimizeButton = 32;
  long hints[5] = {1 | 2, kMove | kClose | (minimize ? kMinimize : 0),
                   kBorder | kTitle | kMenu | (minimize ? kMinimizeButton : 0), 0, 0};
  const Atom motifHints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(display, window, motifHints, motifHints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
  XFlush(display);
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

void SetFullScreen(Display* display, Window window, bool on, drawing::Box monitor, drawing::Box windowed) {
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, window, &attributes);
  const bool mapped = attributes.map_state != IsUnmapped;
  const drawing::Size windowedSize{windowed.width, windowed.height};
  if (on) HoldSize(display, window, nullptr);
  if (mapped && WindowManagerRuns(display)) {
    enum { kRemove = 0, kAdd = 1 };
    XEvent event{};
    event.xclient = {ClientMessage, 0, True, display, window, state, 32, {}};
    event.xclient.data.l[0] = on ? kAdd : kRemove;
    event.xclient.data.l[1] = static_cast<long>(fullScreen);
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    // Read by a window manager when it maps the window; without one, ours
    // to keep, and to read back.
    if (on) {
      XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&fullScreen), 1);
    } else {
      XDeleteProperty(display, window, state);
    }
    if (mapped) {
      const drawing::Box& to = on ? monitor : windowed;
      XMoveResizeWindow(display, window, to.x, to.y, static_cast<unsigned>(to.width), static_cast<unsigned>(to.height));
      if (on) XRaiseWindow(display, window);
    }
  }
  if (!on) HoldSize(display, window, &windowedSize);
  XFlush(display);
}

bool InFullScreenState(Display* display, Window window) {
  const auto atoms = Property(display, window, "_NET_WM_STATE", XA_ATOM, 64);
  return std::ranges::find(atoms, XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False)) != atoms.end();
}

}  // namespace platform
