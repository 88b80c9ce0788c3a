// The X11 backend, as the choice of display system sees it: no X11 or SDL
// header reaches past this folder through it.

#pragma once

#include <memory>

#include "platform/backend.h"

namespace platform {

// Connects to the X display DISPLAY names.  Throws Exception saying why
// none can be had.
std::unique_ptr<Backend> ConnectX11();

}  // namespace platform
