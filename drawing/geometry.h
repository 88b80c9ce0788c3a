// The one geometry vocabulary of the program: a point, a size and a box, in
// pixels, x growing right and y growing down.

#pragma once

#include <algorithm>

namespace drawing {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// The pixels x <= px < x + width, y <= py < y + height of a surface.  A box
// with no width or no height is empty.
struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Box&, const Box&) = default;

  bool Contains(Point p) const { return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height; }
};

// Where a view lands in an area: the view is painted at its own size and
// shown scaled to the box; the area cuts what reaches past it.
struct Placement {
  Size view;
  Box box;
  friend bool operator==(const Placement&, const Placement&) = default;
};

// The pixels both boxes hold; an empty box when they share none.
inline Box Intersection(const Box& a, const Box& b) {
  const int left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  const int right = std::min(a.x + a.width, b.x + b.width), bottom = std::min(a.y + a.height, b.y + b.height);
  return right > left && bottom > top ? Box{left, top, right - left, bottom - top} : Box{};
}

}  // namespace drawing
