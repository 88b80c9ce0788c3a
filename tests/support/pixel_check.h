// Whole-bitmap pixel checks: the fixtures' two colours, a snapshot of every
// pixel, the check that exactly the expected pixels changed, and a bitmap of
// one colour to start from.

#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>
#include <vector>

#include "drawing/canvas.h"

namespace support {

// Red on blue: a fixture in these two shows a red/blue swap at once.  TColor
// keeps red in the low byte.
constexpr TColor Red = 0x0000FF;
constexpr TColor Blue = 0xFF0000;

// A snapshot of every pixel of a bitmap, as TColor values.
inline std::vector<TColor> Snapshot(const TBitmap& b) {
  std::vector<TColor> out;
  out.reserve(static_cast<std::size_t>(b.width()) * b.height());
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x) out.push_back(b.GetPixel(x, y));
  return out;
}

// Checks every pixel: where `expected` gives a colour the pixel must have it,
// everywhere else it must be unchanged since `before`.  Reports the first few
// wrong pixels with their coordinates.
inline ::testing::AssertionResult PixelsAre(
    const TBitmap& b, const std::vector<TColor>& before,
    const std::function<std::optional<TColor>(int x, int y)>& expected) {
  std::ostringstream wrong;
  int count = 0;
  for (int y = 0; y < b.height(); ++y) {
    for (int x = 0; x < b.width(); ++x) {
      const TColor want = expected(x, y).value_or(before[static_cast<std::size_t>(y) * b.width() + x]);
      const TColor got = b.GetPixel(x, y);
      if (got != want && count++ < 8)
        wrong << " (" << x << "," << y << ") is 0x" << std::hex << got << " not 0x" << want << std::dec;
    }
  }
  if (count == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << count << " wrong pixels:" << wrong.str();
}

// A bitmap of the given size filled with one colour.
inline void Fill(TBitmap& b, int w, int h, TColor c) {
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, c);
}

}  // namespace support
