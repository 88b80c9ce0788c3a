// A picture for long runs and frame checksums that needs no image file: any
// size, keyed on its lower-left pixel, with the shapes that make
// a colour-keyed copy go wrong when it is made faster: runs of every short
// length, single opaque pixels, holes inside a figure, and runs that touch the
// left and right edges.

#pragma once

#include <vector>

#include "drawing/canvas.h"

inline constexpr drawing::Pixel kPictureKey = 0xC8BFE7;  // RGB(200, 191, 231)

inline bool PictureIsOpaqueAt(int x, int y) {
  const long long dx = x - 390;
  const long long dy = y - 330;
  const bool inFigure = dx * dx * 40000 + dy * dy * 19600 <= 19600LL * 40000;  // ellipse 140 x 200
  const bool holeInFigure = (x * 7 + y * 3) % 23 == 0;
  const bool shortRun = y % 16 == 3 && x % 40 < (y / 16) % 9;  // lengths 0 ... 8
  const bool leftEdgeRun = y % 50 == 0 && x < 5;
  const bool rightEdgeRun = y >= 100 && y < 110 && x >= 795;
  const bool lonePixel = (x * x + y) % 997 == 0;
  return (inFigure && !holeInFigure) || shortRun || leftEdgeRun || rightEdgeRun || lonePixel;
}

inline void MakeTestPicture(TBitmap& picture, int width, int height) {
  std::vector<drawing::Pixel> pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      drawing::Pixel p = kPictureKey;
      if (y != height - 1 && PictureIsOpaqueAt(x, y)) {
        p = static_cast<drawing::Pixel>(((x * 3) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8 | ((x + y) & 0xFF));
        if (p == kPictureKey) p ^= 1;
      }
      pixels[static_cast<std::size_t>(y) * width + x] = p;
    }
  }
  picture.Assign(width, height, std::move(pixels));
}
