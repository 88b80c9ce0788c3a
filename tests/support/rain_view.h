// Whether a capture of the screen shows the program's view where it should:
// the figure of the picture in its box, each view pixel a whole block, and
// rain around it.  Shared by the window tests of every display system.  The
// test defines RAIN_PICTURE_BMP, the picture's file.

#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "drawing/canvas.h"
#include "imaging/bmp.h"
#include "imaging/image_files.h"

namespace support {

using Rect = std::array<int, 4>;            // left, top, width, height
using Pixels = std::vector<std::uint32_t>;  // 0x00RRGGBB, row-major

constexpr int kViewWidth = 784, kViewHeight = 495;
constexpr std::uint32_t kNotFigure = 0xFF000000u, kDropPixel = 0x9AD9EA, kFarDropPixel = 0xA4E3F4;

// How a capture `width` pixels wide shows the window's view in `box`, each
// pixel the nearest view pixel, and the scene around it in `area`: the share
// of the figure shown (near drops cover a few of its pixels), the pixels
// unlike the first of their N x N block on the view's grid, the pixels
// around the box not black, and whether drops fall in the margins beside the
// picture (as good as yes where they are too narrow to ask).
struct Shown {
  double figure = 0;
  int unlikeTheirBlock = 0, litAround = 0;
  bool rainLeft = false, rainRight = false;
};
inline Shown ShownIn(const Pixels& capture, int width, const Rect& area, const Rect& box) {
  constexpr int kWidth = kViewWidth, kHeight = kViewHeight;
  static const Pixels figure = [] {  // read when first needed, not while tests are listed
    TBitmap picture;
    imaging::LoadBmpFile(picture, RAIN_PICTURE_BMP);
    Pixels colours;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        colours.push_back(picture.Row(y)[x] == picture.TransparentPixel() ? kNotFigure : picture.Row(y)[x] & 0xFFFFFFu);
    return colours;
  }();
  if (capture.size() < static_cast<std::size_t>((area[1] + area[3]) * width)) return {};
  const int n = std::max(box[2] / kWidth, 1);
  Shown shown{.rainLeft = box[0] - area[0] < 100, .rainRight = area[0] + area[2] - box[0] - 800 * n < 100};
  // Where the block holding v starts, on the grid through `from`, cut by the
  // area's edge at `edge`.
  const auto start = [n](int v, int from, int edge) { return std::max(v - ((v - from) % n + n) % n, edge); };
  const auto at = [&](int x, int y) { return capture[static_cast<std::size_t>(y * width + x)]; };
  std::size_t figurePixels = 0, matching = 0;
  for (int y = area[1]; y < area[1] + area[3]; ++y)
    for (int x = area[0]; x < area[0] + area[2]; ++x) {
      const std::uint32_t pixel = at(x, y);
      shown.unlikeTheirBlock += pixel != at(start(x, box[0], area[0]), start(y, box[1], area[1]));
      const int bx = x - box[0], by = y - box[1];
      if (bx >= 0 && by >= 0 && bx < box[2] && by < box[3]) {
        const std::uint32_t want = figure[static_cast<std::size_t>(by * kHeight / box[3] * kWidth +
                                                                   bx * kWidth / box[2])];
        figurePixels += want != kNotFigure;
        matching += want == pixel;
        continue;
      }
      const bool drop = pixel == kDropPixel || pixel == kFarDropPixel;
      shown.litAround += pixel != 0;
      shown.rainLeft |= drop && bx < 0;
      shown.rainRight |= drop && bx >= 800 * n;
    }
  shown.figure = static_cast<double>(matching) / static_cast<double>(std::max<std::size_t>(figurePixels, 1));
  return shown;
}

}  // namespace support
