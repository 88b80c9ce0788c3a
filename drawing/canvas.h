// Canvas and bitmap: the only way anything in Rain puts pixels on a surface.
//
// Contract, stated once for the whole drawing layer:
//
//  * Colours.  Callers speak `TColor`, laid out 0x00BBGGRR (red in the low
//    byte).  Surfaces store `Pixel`, laid out 0x00RRGGBB: the layout of the
//    X11 window surface, so a finished frame reaches the screen with a plain
//    copy.  A colour is converted once, when it is assigned to a pen or a
//    brush, never per pixel.  The top byte of a `TColor` is dropped.
//  * Surfaces.  A surface is `width` x `height` pixels, row-major, with
//    `stride` pixels (not bytes) from the start of one row to the next.
//    Coordinates are signed; (0, 0) is the top-left pixel, x grows right and
//    y grows down.
//  * Boxes are half-open: Rectangle(x1, y1, x2, y2) covers x1 <= x < x2 and
//    y1 <= y < y2.  A box with x2 <= x1 or y2 <= y1 is empty.  Its border,
//    painted with the pen, lies inside the box: columns x1 and x2 - 1, rows
//    y1 and y2 - 1; the rest is filled with the brush.
//  * LineTo draws from the current position up to, but not including, its
//    end point, which then becomes the current position.  The pixels are
//    those of the integer all-octant Bresenham loop
//        dx = |x1 - x0|, sx = sign, dy = -|y1 - y0|, sy = sign, err = dx + dy
//        until at (x1, y1): plot; e2 = 2 err;
//            if e2 >= dy: err += dy, x0 += sx;  if e2 <= dx: err += dx, y0 += sy
//    so that frames are reproducible pixel for pixel.
//  * Every operation clips to its surface (coordinates may be negative or far
//    outside), clips once per call rather than per pixel, and never blends:
//    a touched pixel takes exactly the pen or brush colour, or the source
//    pixel for Draw.
//  * Draw of a bitmap whose Transparent flag is set skips every source pixel
//    equal to the bitmap's lower-left pixel.

#pragma once

#include <cstdint>
#include <vector>

using TColor = std::uint32_t;  // 0x00BBGGRR

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

namespace drawing {

using Pixel = std::uint32_t;  // 0x00RRGGBB

// Swapping red and blue is its own inverse, so one function serves both ways.
constexpr std::uint32_t SwapRedBlue(std::uint32_t v) {
  return ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
}
constexpr Pixel ToPixel(TColor c) { return SwapRedBlue(c & 0xFFFFFFu); }
constexpr TColor ToColor(Pixel p) { return SwapRedBlue(p & 0xFFFFFFu); }

// A view of pixels some owner keeps alive: a bitmap's storage or a window.
struct Surface {
  Pixel* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // in pixels
};

// `Pen->Color = c` and `Brush->Color = c` store the converted pixel once.
class ColorProperty {
 public:
  ColorProperty& operator=(TColor c) {
    pixel_ = ToPixel(c);
    return *this;
  }
  operator TColor() const { return ToColor(pixel_); }
  Pixel pixel() const { return pixel_; }

 private:
  Pixel pixel_ = ToPixel(clBlack);
};

// One horizontal stretch of pixels that a transparent bitmap does copy.
struct OpaqueRun {
  int y;
  int x0;  // first pixel of the run
  int x1;  // one past the last
};

}  // namespace drawing

struct TPen {
  drawing::ColorProperty Color;
};
struct TBrush {
  drawing::ColorProperty Color;
};

class TBitmap;

class TCanvas {
 public:
  TCanvas() = default;
  explicit TCanvas(drawing::Surface surface) : surface_(surface) {}
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  // Pointers, so that callers write `canvas->Pen->Color = c`, the same
  // spelling as `bitmap->Canvas` and `form->Canvas`.
  TPen* const Pen = &pen_;
  TBrush* const Brush = &brush_;

  void Rectangle(int x1, int y1, int x2, int y2);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Draw(int x, int y, const TBitmap* bitmap);

  int PenX() const { return penX_; }
  int PenY() const { return penY_; }

  // For the surface's owner: re-point the canvas after the pixels moved.
  // Pen, brush and current position are kept.
  void Attach(drawing::Surface surface) { surface_ = surface; }
  const drawing::Surface& surface() const { return surface_; }

  // Counts the calls that may have changed a pixel.  Owners compare it to
  // learn whether their pixels changed (a bitmap's transparency runs, a
  // window that needs presenting).
  std::uint64_t version() const { return version_; }

 private:
  // Only the canvas's own drawing calls and the bitmap whose pixels it paints
  // may say that pixels changed; anyone else could leave a bitmap's
  // transparency runs describing pixels it no longer has.
  friend class TBitmap;
  void Touch() { ++version_; }

  drawing::Surface surface_;
  TPen pen_;
  TBrush brush_;
  int penX_ = 0;
  int penY_ = 0;
  std::uint64_t version_ = 0;
};

class TBitmap {
 public:
  TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  // `bitmap->Width = 800` resizes; reading it gives the width.  The overlap
  // of the old and new sizes keeps its pixels, new pixels are black, and a
  // negative size counts as zero.
  class Dimension {
   public:
    Dimension(TBitmap* owner, bool isWidth) : owner_(owner), isWidth_(isWidth) {}
    Dimension(const Dimension&) = delete;
    Dimension& operator=(const Dimension&) = delete;
    Dimension& operator=(int value);
    operator int() const;

   private:
    TBitmap* owner_;
    bool isWidth_;
  };
  Dimension Width{this, true};
  Dimension Height{this, false};

  // When set, Draw skips pixels equal to the lower-left pixel.
  bool Transparent = false;

  // The one canvas of this bitmap: every read gives the same object, so pen,
  // brush and position carry over from one use to the next.
  TCanvas* const Canvas = &canvas_;

  void SetSize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // Checked pixel access (asserts the coordinates are inside).
  TColor GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);
  const drawing::Pixel* Row(int y) const;
  drawing::Pixel* MutableRow(int y);  // counts as a change of the pixels

  // Replaces size and pixels in one step (used by image loaders).
  void Assign(int width, int height, std::vector<drawing::Pixel> pixels);

  // The colour Draw leaves out when Transparent is set.  The bitmap must not
  // be empty.
  drawing::Pixel TransparentPixel() const;

  // The stretches Draw copies when Transparent is set, rebuilt lazily after
  // the pixels changed.
  const std::vector<drawing::OpaqueRun>& OpaqueRuns() const;

 private:
  void Reattach();

  int width_ = 0;
  int height_ = 0;
  std::vector<drawing::Pixel> pixels_;
  TCanvas canvas_;

  mutable std::vector<drawing::OpaqueRun> runs_;
  mutable std::uint64_t runsVersion_ = ~std::uint64_t{0};
};
