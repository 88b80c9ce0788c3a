// The frame and the picture, prepared the way the main window prepares them,
// for the window itself and for everything that paints frames as it does:
// the frame tool, the benchmark and the tests.  Needs nothing but the
// drawing layer, so headless programs use it without the window's platform.

#pragma once

#include <functional>

#include "drawing/canvas.h"

namespace app {

// Sizes `frame` to the scene, width first (800, then 533), loads the picture
// through `loadPicture` and marks it transparent.  What `loadPicture` throws
// passes through.
void PrepareFrameAndPicture(TBitmap& frame, TBitmap& picture, const std::function<void(TBitmap&)>& loadPicture);

}  // namespace app
