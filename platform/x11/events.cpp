#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <utility>

#include "platform/x11/connection.h"
#include "platform/x11/internal.h"

namespace platform {

void X11Connection::NoteEvent(const SDL_SysWMmsg& message) {
  if (message.subsystem != SDL_SYSWM_X11 || ending_) return;
  const XEvent& event = message.msg.x11.event;
  if (randrEvents_ >= 0 && event.type >= randrEvents_ && event.type < randrEvents_ + RRNumberEvents) {
    XEvent copy = event;
    XRRUpdateConfiguration(&copy);  // Xlib's idea of the screen's size
    monitorsChanged_ = true;
  }
  if (event.type == PropertyNotify &&
      event.xproperty.atom == XInternAtom(event.xproperty.display, "_NET_WM_STATE", False) &&
      std::ranges::find(changedStates_, event.xproperty.window) == changedStates_.end())
    changedStates_.push_back(event.xproperty.window);
  if (event.type == VisibilityNotify) {
    std::erase(coveredWindows_, event.xvisibility.window);
    if (event.xvisibility.state == VisibilityFullyObscured) coveredWindows_.push_back(event.xvisibility.window);
  }
  if (event.type != DestroyNotify) return;
  if (event.xdestroywindow.window == foreignWindow_) {
    foreignWindowGone_ = true;
  } else if (event.xdestroywindow.event == event.xdestroywindow.window && foreignWindow_ == 0) {
    // Told about itself, so one of our own windows: we destroy ours only
    // while ending.
    destroyedOwn_ = true;
    destroyedOwnWindow_ = event.xdestroywindow.window;
  }
}

bool X11Connection::StateChanged(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  return X11Of(window, display, xwindow) && std::erase(changedStates_, xwindow) > 0;
}

bool X11Connection::FullyCovered(SDL_Window* window) const {
  Display* display = nullptr;
  Window xwindow = 0;
  return X11Of(window, display, xwindow) && std::ranges::find(coveredWindows_, xwindow) != coveredWindows_.end();
}

void X11Connection::WatchMonitors(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  int event = 0, error = 0;
  if (!X11Of(window, display, xwindow) || !XRRQueryExtension(display, &event, &error)) return;
  randrEvents_ = event;
  // The selection replaces SDL's own on the root window, so it keeps the
  // output changes SDL watches for itself.
  XRRSelectInput(display, DefaultRootWindow(display),
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                     RROutputPropertyNotifyMask | RRResourceChangeNotifyMask);
}

bool X11Connection::MonitorsChanged() { return std::exchange(monitorsChanged_, false); }

}  // namespace platform
