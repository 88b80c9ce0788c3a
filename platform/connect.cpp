// Connect: the display system the environment picks, and X11 after a
// Wayland compositor that cannot be had.

#include <cstdlib>

#include "drawing/exception.h"
#include "platform/backend.h"
#include "platform/backend_choice.h"
#include "platform/wayland/connect.h"
#include "platform/x11/connect.h"

namespace platform {

std::unique_ptr<Backend> Connect(bool x11Only) {
  const std::vector<DisplaySystem> systems =
      DisplaySystemsToTry(std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"), std::getenv("RAIN_BACKEND"), x11Only);
  for (std::size_t i = 0;; ++i) {
    try {
      return systems[i] == DisplaySystem::kWayland ? wayland::ConnectWayland() : ConnectX11();
    } catch (const Exception&) {
      if (i + 1 == systems.size()) throw;  // the last one says why
    }
  }
}

}  // namespace platform
