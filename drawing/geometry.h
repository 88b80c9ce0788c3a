// The one geometry vocabulary of the program: a point, a size and a box, in
// pixels, x growing right and y growing down.

#pragma once

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
};

}  // namespace drawing
