#include "drawing/pixel_format.h"

#include <bit>

namespace drawing {

namespace {

// One channel's place: its lowest bit and how many bits it has.
struct Channel {
  int shift;
  int bits;
};

Channel ChannelOf(std::uint32_t mask) {
  return mask == 0 ? Channel{0, 0} : Channel{std::countr_zero(mask), std::popcount(mask)};
}

std::uint32_t Widen(std::uint32_t value, Channel channel) {
  if (channel.bits == 0) return 0;
  std::uint32_t wide = 0;
  // Repeat the 8 bits downwards until the channel is full: 10 bits get
  // v << 2 | v >> 6.
  for (int filled = 0; filled < channel.bits; filled += 8) {
    const int shift = channel.bits - 8 - filled;
    wide |= shift >= 0 ? value << shift : value >> -shift;
  }
  return wide << channel.shift;
}

struct Layout {
  Channel red, green, blue;
};

std::uint32_t Convert(Pixel pixel, const Layout& layout) {
  return Widen((pixel >> 16) & 0xFF, layout.red) | Widen((pixel >> 8) & 0xFF, layout.green) |
         Widen(pixel & 0xFF, layout.blue);
}

Layout LayoutOf(const ChannelMasks& masks) {
  return {ChannelOf(masks.red), ChannelOf(masks.green), ChannelOf(masks.blue)};
}

}  // namespace

std::uint32_t ToDisplayPixel(Pixel pixel, const ChannelMasks& masks) { return Convert(pixel, LayoutOf(masks)); }

void ConvertBoxes(const Surface& from, std::span<const Box> boxes, const ChannelMasks& masks, std::uint32_t* to,
                  int toStride) {
  const Layout layout = LayoutOf(masks);
  for (const Box& unclipped : boxes) {
    const Box box = Intersection(unclipped, {0, 0, from.width, from.height});
    for (int y = box.y; y < box.y + box.height; ++y) {
      const Pixel* source = from.pixels + static_cast<std::ptrdiff_t>(y) * from.stride;
      std::uint32_t* target = to + static_cast<std::ptrdiff_t>(y) * toStride;
      for (int x = box.x; x < box.x + box.width; ++x) target[x] = Convert(source[x], layout);
    }
  }
}

}  // namespace drawing
