#include "platform/backend_choice.h"

#include <string_view>

#include "drawing/exception.h"

namespace platform {

namespace {

bool Set(const char* variable) { return variable != nullptr && *variable != '\0'; }

}  // namespace

std::vector<DisplaySystem> DisplaySystemsToTry(const char* waylandDisplay, const char* display, const char* forced,
                                               bool x11Only) {
  if (Set(forced)) {
    const std::string_view name = forced;
    if (name != "x11" && name != "wayland")
      throw Exception("Cannot open a window: RAIN_BACKEND=" + Quoted(name) + " names no display system (x11 or wayland)");
    if (name == "x11" || x11Only) return {DisplaySystem::kX11};
    return {DisplaySystem::kWayland};
  }
  if (x11Only || !Set(waylandDisplay)) return {DisplaySystem::kX11};
  // A compositor without what our windows need gives way to X11, where
  // XWayland (or another X server) is there.
  if (Set(display)) return {DisplaySystem::kWayland, DisplaySystem::kX11};
  return {DisplaySystem::kWayland};
}

}  // namespace platform
