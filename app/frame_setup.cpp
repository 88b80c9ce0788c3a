#include "app/frame_setup.h"

namespace app {

void PrepareFrameAndPicture(TBitmap& frame, TBitmap& picture, const std::function<void(TBitmap&)>& loadPicture) {
  frame.Width = 800;
  frame.Height = 533;
  loadPicture(picture);
  picture.Transparent = true;
}

}  // namespace app
