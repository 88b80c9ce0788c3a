#include "scene/frame_setup.h"

#include "drawing/scale.h"

namespace scene {

void PrepareFrameAndPicture(TBitmap& frame, TBitmap& picture, const std::function<void(TBitmap&)>& loadPicture) {
  frame.Width = 800;
  frame.Height = 533;
  loadPicture(picture);
  picture.Transparent = true;
}

Layout LayoutForRegion(drawing::Size region, drawing::Size picture, drawing::Size windowView) {
  if (const auto fill = drawing::FillRegion(region, picture))
    return {{fill->scene, fill->InRegion()}, fill->scene, fill->picture};
  return {{windowView, drawing::FitView(windowView.width, windowView.height, region.width, region.height).box},
          {800, 533}, {0, 0}};
}

}  // namespace scene
