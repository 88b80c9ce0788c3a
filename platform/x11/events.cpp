#include <X11/extensions/Xrandr.h>

#include "platform/x11/x11.h"

namespace platform {

void X11Backend::NoteEvent(const SDL_SysWMmsg& message) {
  if (message.subsystem != SDL_SYSWM_X11 || ending_) return;
  const XEvent& event = message.msg.x11.event;
  if (randrEvents_ >= 0 && event.type >= randrEvents_ && event.type < randrEvents_ + RRNumberEvents) {
    XEvent copy = event;
    XRRUpdateConfiguration(&copy);  // Xlib's idea of the screen's size
    monitorsChanged_ = true;
  }
  if (event.type == PropertyNotify && event.xproperty.window == xwindow_ &&
      event.xproperty.atom == XInternAtom(event.xproperty.display, "_NET_WM_STATE", False))
    stateChanged_ = true;
  if (event.type == VisibilityNotify && event.xvisibility.window == xwindow_)
    covered_ = event.xvisibility.state == VisibilityFullyObscured;
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

void X11Backend::WatchMonitors() {
  int event = 0, error = 0;
  if (!XRRQueryExtension(display_, &event, &error)) return;
  randrEvents_ = event;
  // The selection replaces SDL's own on the root window, so it keeps the
  // output changes SDL watches for itself.
  XRRSelectInput(display_, DefaultRootWindow(display_),
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                     RROutputPropertyNotifyMask | RRResourceChangeNotifyMask);
}

}  // namespace platform
