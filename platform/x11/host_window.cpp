#include <cstdint>

#include "drawing/exception.h"
#include "platform/x11/x11.h"

namespace platform {

void X11Backend::Adopt(unsigned long window) {
  // Left alone, SDL would mark the window as a place to drop files on.
  SDL_EventState(SDL_DROPFILE, SDL_DISABLE);
  SDL_EventState(SDL_DROPTEXT, SDL_DISABLE);
  // SDL lends its connection only through a window, and this one is to be
  // looked at before SDL touches it: a connection of its own, for a moment.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) throw Exception("cannot open the display " + Quoted(XDisplayName(nullptr)));
  if (window == 0) window = DefaultRootWindow(display);
  const std::string name = "the window " + WindowName(window);
  XWindowAttributes attributes{};
  Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  const bool isWindow = !Fails(display, [&] { XGetWindowAttributes(display, window, &attributes); });
  const bool isDrawable =
      isWindow || !Fails(display, [&] { XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth); });
  XCloseDisplay(display);
  if (!isDrawable) throw Exception("Cannot draw in " + name + ": there is no such window");
  if (!isWindow) throw Exception("Cannot draw in " + name + ": it is a picture (pixmap), not a window");
  if (attributes.c_class == InputOnly) throw Exception("Cannot draw in " + name + ": it takes input only and shows nothing");

  foreignWindow_ = window;
  foreignWindowGone_ = false;
  window_ = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(window)));
  if (window_ != nullptr) LookUpX11();
  if (display_ != nullptr) {
    // SDL selects no events on a window it did not make.  Ask for its size
    // changes, its destruction and its exposures, and never for input: on
    // the root window another client may hold the button presses, and the
    // server would refuse a second one.
    XSelectInput(display_, xwindow_, attributes.your_event_mask | StructureNotifyMask | ExposureMask);
    XSync(display_, False);
    if (!foreignWindowGone_) return;
  }
  const std::string why = display_ == nullptr ? SDL_GetError() : "there is no such window";
  if (window_ != nullptr) SDL_DestroyWindow(window_);
  window_ = nullptr;
  display_ = nullptr;
  foreignWindow_ = 0;
  throw Exception("Cannot draw in " + name + ": " + why);
}

void X11Backend::Release() {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display_, xwindow_, &attributes)) {
    XSelectInput(display_, xwindow_, attributes.your_event_mask & ~(StructureNotifyMask | ExposureMask));
    XClearArea(display_, xwindow_, 0, 0, 0, 0, True);
  }
  XSync(display_, False);
}

}  // namespace platform
