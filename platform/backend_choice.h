// Which display system the program talks to, from the environment alone,
// so the rule can be tested without either.

#pragma once

#include <vector>

namespace platform {

enum class DisplaySystem { kX11, kWayland };

// The display systems to try, in order: Wayland inside a Wayland session
// (WAYLAND_DISPLAY set), X11 after it when DISPLAY is set too, else X11;
// RAIN_BACKEND ("x11" or "wayland") forces one.  `x11Only` for windows that
// are X11's by nature (another program's), whatever else is asked.  Each
// argument is the variable's value, or null when unset.  Throws Exception
// for a RAIN_BACKEND that names neither.
std::vector<DisplaySystem> DisplaySystemsToTry(const char* waylandDisplay, const char* display, const char* forced,
                                               bool x11Only);

}  // namespace platform
