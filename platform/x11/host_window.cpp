#include <cstdint>
#include <utility>

#include "drawing/exception.h"
#include "platform/x11/connection.h"
#include "platform/x11/internal.h"

namespace platform {

SDL_Window* X11Connection::AdoptForeignWindow(unsigned long window) {
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
  SDL_Window* adopted = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(window)));
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (adopted == nullptr || !SDL_GetWindowWMInfo(adopted, &info) || info.subsystem != SDL_SYSWM_X11) {
    const std::string error = SDL_GetError();
    if (adopted != nullptr) SDL_DestroyWindow(adopted);
    foreignWindow_ = 0;
    throw Exception("Cannot draw in " + name + ": " + error);
  }
  // SDL selects no events on a window it did not make.  Ask for its size
  // changes, its destruction and its exposures, and never for input: on the
  // root window another client may hold the button presses, and the server
  // would refuse a second one.
  Display* sdlDisplay = info.info.x11.display;
  XSelectInput(sdlDisplay, window, attributes.your_event_mask | StructureNotifyMask | ExposureMask);
  XSync(sdlDisplay, False);
  if (foreignWindowGone_) {
    SDL_DestroyWindow(adopted);
    foreignWindow_ = 0;
    throw Exception("Cannot draw in " + name + ": there is no such window");
  }
  return adopted;
}

void X11Connection::ReleaseForeignWindow(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  // Errors here only say the window is already gone.
  const bool wasEnding = std::exchange(ending_, true);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, xwindow, &attributes)) {
    XSelectInput(display, xwindow, attributes.your_event_mask & ~(StructureNotifyMask | ExposureMask));
    XClearArea(display, xwindow, 0, 0, 0, 0, True);
  }
  XSync(display, False);
  ending_ = wasEnding;
}

}  // namespace platform
