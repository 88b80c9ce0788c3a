// A window of a depth SDL cannot lay out a surface for: a deep-colour
// screen keeps 10 bits a channel (depth 30), and SDL 2.26 knows no such
// window format.  Its pixels go to the server through an image of our own.

#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/geometry.h"
#include "drawing/pixel_format.h"

struct SDL_Window;

namespace platform {

class DeepColorWindow {
 public:
  // For a window whose visual holds more than 8 bits a channel in 32-bit
  // pixels; nullptr for any other.
  static std::unique_ptr<DeepColorWindow> Of(SDL_Window* window);
  ~DeepColorWindow();
  DeepColorWindow(const DeepColorWindow&) = delete;
  DeepColorWindow& operator=(const DeepColorWindow&) = delete;

  // The window's size now, in pixels.
  drawing::Size Size() const;
  // Shows `boxes` of `pixels`, which is the window's size, in the window.
  void Show(const drawing::Surface& pixels, std::span<const drawing::Box> boxes);

 private:
  struct X;
  explicit DeepColorWindow(std::unique_ptr<X> x);
  std::unique_ptr<X> x_;
  std::vector<std::uint32_t> row_;  // one box converted, reused from present to present
};

}  // namespace platform
