// What the files of the X11 layer share among themselves.

#pragma once

#include <SDL.h>
#include <SDL_syswm.h>

#include <string>
#include <vector>

#include "drawing/geometry.h"

#include <X11/Xlib.h>

namespace platform {

// The X11 display and window of an SDL window; false on other displays.
inline bool X11Of(SDL_Window* window, Display*& display, Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

// "0x1a00003"
std::string WindowName(unsigned long window);

// The monitors of the display's first screen.
std::vector<drawing::Box> MonitorsOf(Display* display);

}  // namespace platform
