// Pixels for displays whose channels are not 8 bits wide: a deep-colour
// screen keeps 10 bits a channel (depth 30).  The canvas always paints
// 0x00RRGGBB; a present widens each channel into the display's own layout.

#pragma once

#include <cstdint>
#include <span>

#include "drawing/canvas.h"
#include "drawing/geometry.h"

namespace drawing {

// Where a display keeps each channel of a 32-bit pixel, as its masks say.
struct ChannelMasks {
  std::uint32_t red = 0xFF0000;
  std::uint32_t green = 0x00FF00;
  std::uint32_t blue = 0x0000FF;
};

// The display's pixel for `pixel`: each 8-bit value widened by repeating
// its top bits (0xFF stays full scale, 0 stays 0) or narrowed by dropping
// its low ones, so every colour keeps its exact level.
std::uint32_t ToDisplayPixel(Pixel pixel, const ChannelMasks& masks);

// Converts `boxes` of `from` into `to`, which has the same size and a
// stride of `toStride` 32-bit pixels.  Boxes are clipped to the surface.
void ConvertBoxes(const Surface& from, std::span<const Box> boxes, const ChannelMasks& masks, std::uint32_t* to,
                  int toStride);

}  // namespace drawing
