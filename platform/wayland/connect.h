// The Wayland backend, as the rest of the program sees it: no Wayland header
// reaches past this folder.

#pragma once

#include <memory>

#include "platform/backend.h"

namespace platform::wayland {

// Connects to the compositor WAYLAND_DISPLAY names.  Throws Exception naming
// the display when there is none to be had, or when it offers no xdg-shell,
// without which no window of ours can show.
std::unique_ptr<Backend> ConnectWayland();

}  // namespace platform::wayland
