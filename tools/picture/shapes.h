// Shapes for drawing the program's picture and icon from code, and the
// painter that fills them.
//
// A shape is a predicate over pixel centres; a shape's edge pixels (those
// with a neighbour outside the shape) may take an outline colour.  A drawing
// is designed in units of its own, which a DesignFrame maps to pixels, so
// one design can be drawn at any size.

#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <numbers>

#include "drawing/canvas.h"

namespace tools {

constexpr TColor Rgb(int r, int g, int b) {
  return static_cast<TColor>(r) | static_cast<TColor>(g) << 8 | static_cast<TColor>(b) << 16;
}

constexpr double kPi = std::numbers::pi;

using Inside = std::function<bool(double x, double y)>;
using Shade = std::function<TColor(double x, double y)>;

// Inclusive pixel bounds that painting never leaves.
struct Bounds {
  int left, top, right, bottom;
};

class Painter {
 public:
  Painter(TBitmap& bitmap, Bounds bounds, int outlineWidth)
      : bitmap_(bitmap), bounds_(bounds), outlineWidth_(outlineWidth) {}

  // Paints every pixel of `inside` within the bounds.  With an outline
  // colour, pixels whose neighbour `outlineWidth` away lies outside the
  // shape take that colour instead of the shade.
  void Fill(const Inside& inside, const Shade& shade, const TColor* outline = nullptr);
  void Fill(const Inside& inside, TColor colour, const TColor* outline = nullptr) {
    Fill(inside, [colour](double, double) { return colour; }, outline);
  }

 private:
  TBitmap& bitmap_;
  Bounds bounds_;
  int outlineWidth_;
};

// Picks one of a few fixed shades by a brightness in [0, 1]; the drawings
// are made of flat bands, not gradients.
template <std::size_t N>
TColor Band(const TColor (&shades)[N], double light) {
  const int i = static_cast<int>(std::floor(std::clamp(light, 0.0, 0.999) * static_cast<double>(N)));
  return shades[i];
}

// Where a design lands in the picture: `scale` pixels per design unit, the
// design's origin at pixel (originX, originY).  Shapes made here take their
// positions and sizes in design units.
struct DesignFrame {
  double scale;
  double originX;
  double originY;

  double PixelX(double u) const { return originX + u * scale; }
  double PixelY(double v) const { return originY + v * scale; }
  double Pixels(double length) const { return length * scale; }
  double DesignX(double x) const { return (x - originX) / scale; }
  double DesignY(double y) const { return (y - originY) / scale; }

  Inside Ellipse(double u, double v, double radiusU, double radiusV) const;
  // A line segment with round ends, `radius` wide on each side.
  Inside Capsule(double u0, double v0, double u1, double v1, double radius) const;
  // Half-open: u0 <= u < u1, v0 <= v < v1.
  Inside Box(double u0, double v0, double u1, double v1) const;
  // The lower half of a ring around (u, v): an umbrella's hooked handle.
  Inside Hook(double u, double v, double innerRadius, double outerRadius) const;
};

// An umbrella's canopy seen from the side, in design units: a dome between
// `apex` and `rim` whose outline is a superellipse of exponent `roundness`,
// split by ribs into `panels` panels of equal angle, so the panels near the
// sides look narrow.  Each panel's lower edge is an arc hanging `rimDrop`
// below the rim at the ribs and rising by up to `scallopDepth`, at most
// `scallopPerWidth` times the panel's width, in its middle.
struct Canopy {
  double centre;
  double apex;
  double rim;
  double halfWidth;
  int panels;
  double roundness;
  double rimDrop;
  double scallopDepth;
  double scallopPerWidth;

  // Where rib i meets the rim, 0 ... panels from left to right.
  double RibU(int i) const { return centre + halfWidth * std::sin(-kPi / 2 + kPi * i / panels); }
  // Half the dome's width at height v; the full half width at the rim and below.
  double HalfWidthAt(double v) const;
  // The lower edge of the panel below u.
  double LowerEdgeAt(double u) const;
  bool Contains(double u, double v) const;
  // The panel (0 ... panels - 1) a point of the dome lies in, by its angle
  // across the dome at its height.
  int PanelAt(double u, double v) const;
};

}  // namespace tools
