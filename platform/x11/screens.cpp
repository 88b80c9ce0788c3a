#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/dpms.h>
#include <X11/keysym.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "drawing/exception.h"
#include "platform/monitors.h"
#include "platform/x11/x11.h"

namespace platform {

std::vector<drawing::Box> Monitors(Display* display) {
  std::vector<drawing::Box> monitors;
  int event = 0, error = 0, major = 0, minor = 0;
  if (XRRQueryExtension(display, &event, &error) && XRRQueryVersion(display, &major, &minor) &&
      (major > 1 || (major == 1 && minor >= 5))) {
    int count = 0;
    if (XRRMonitorInfo* list = XRRGetMonitors(display, DefaultRootWindow(display), True, &count)) {
      for (int i = 0; i < count; ++i) monitors.push_back({list[i].x, list[i].y, list[i].width, list[i].height});
      XRRFreeMonitors(list);
    }
  }
  monitors = DistinctMonitors(std::move(monitors));
  if (monitors.empty()) {
    const Screen* screen = DefaultScreenOfDisplay(display);
    monitors.push_back({0, 0, WidthOfScreen(screen), HeightOfScreen(screen)});
  }
  return monitors;
}

drawing::Box MonitorAt(Display* display, drawing::Point point) {
  const std::vector<drawing::Box> monitors = Monitors(display);
  const auto found = std::ranges::find_if(monitors, [&](const drawing::Box& m) { return m.Contains(point); });
  return found != monitors.end() ? *found : monitors.front();
}

drawing::Point Pointer(Display* display) {
  Window root = 0, child = 0;
  int x = 0, y = 0, windowX = 0, windowY = 0;
  unsigned mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &windowX, &windowY, &mask);
  return {x, y};
}

bool MonitorsOff(Display* display) {
  int event = 0, error = 0;
  CARD16 level = DPMSModeOn;
  BOOL enabled = False;
  return DPMSQueryExtension(display, &event, &error) && DPMSCapable(display) &&
         DPMSInfo(display, &level, &enabled) && enabled && level != DPMSModeOn;
}

Desktop X11Backend::DescribeDesktop() {
  Desktop desktop;
  SDL_Rect usable{};
  if (SDL_GetDisplayUsableBounds(0, &usable) == 0) desktop.usable = {usable.w, usable.h};
  // Asked before any window exists, so over a connection of our own for a
  // moment: SDL lends its one only through a window.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return desktop;
  if (const char* resources = XResourceManagerString(display)) {
    XrmInitialize();
    if (XrmDatabase database = XrmGetStringDatabase(resources)) {
      char* type = nullptr;
      XrmValue value{};
      if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr)
        desktop.xftDpi = value.addr;
      XrmDestroyDatabase(database);
    }
  }
  XCloseDisplay(display);
  return desktop;
}

bool KeyHeld(Display* display, SDL_Keycode key) {
  // SDL's keycodes of letters are their characters, which are their keysyms
  // too; function keys are numbered apart.
  const KeySym keysym = key >= SDLK_F1 && key <= SDLK_F12 ? XK_F1 + (key - SDLK_F1)
                        : key == SDLK_ESCAPE              ? XK_Escape
                                                          : static_cast<KeySym>(key);
  const KeyCode code = XKeysymToKeycode(display, keysym);
  char keys[32] = {};
  XQueryKeymap(display, keys);
  return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
}

std::string WhyNoDisplay(const std::string& sdlError) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && *wayland != '\0'
               ? "cannot reach the Wayland display " + Quoted(wayland) + ", and DISPLAY is not set"
               : "DISPLAY is not set";
  }
  Display* display = XOpenDisplay(nullptr);
  if (display != nullptr) XCloseDisplay(display);
  // SDL loads its X11 libraries only now; without the memory for them it
  // says no more than that X11 is not available.
  constexpr std::size_t kRoom = 32 << 20;
  void* room = mmap(nullptr, kRoom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED) return "out of memory";
  munmap(room, kRoom);
  if (display == nullptr) return "cannot open the display " + Quoted(name);
  return "cannot use the display " + Quoted(name) + ": " + sdlError;
}

}  // namespace platform
