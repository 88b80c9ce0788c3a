// The frame and the picture, prepared the way the main window prepares them,
// for the window itself and for everything that paints frames as it does:
// the frame tool, the benchmark and the tests.

#pragma once

#include <functional>

#include "drawing/canvas.h"
#include "drawing/geometry.h"

namespace scene {

// Sizes `frame` to the scene, width first (800, then 533), loads the picture
// through `loadPicture` and marks it transparent.  What `loadPicture` throws
// passes through.
void PrepareFrameAndPicture(TBitmap& frame, TBitmap& picture, const std::function<void(TBitmap&)>& loadPicture);

// How a region of the screen (a monitor, a full screen, another program's
// window, a frame of a given size) shows the rain.
struct Layout {
  drawing::Placement placement;  // the view the canvas paints and where it lands in the region
  drawing::Size scene;           // the scene painted into the view
  drawing::Point pictureAt;      // where the scene draws the picture
};

// A region at least the picture's size is filled (drawing::FillRegion): the
// view is the whole scene, the picture standing in it.  A smaller one (a
// screensaver's preview) shows what the window shows, the top-left
// `windowView` of the 800 x 533 scene with the picture at its origin, shrunk
// to fit and centred.
Layout LayoutForRegion(drawing::Size region, drawing::Size picture, drawing::Size windowView);

}  // namespace scene
