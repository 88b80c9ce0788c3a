#include <X11/Xutil.h>

#include <bit>

#include "platform/x11/x11.h"

namespace platform {

std::unique_ptr<DeepColorWindow> DeepColorWindow::Of(Display* display, Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes)) return nullptr;
  const Visual* visual = attributes.visual;
  // Only what SDL leaves out: 24 bits and less it draws itself.
  if (attributes.depth <= 24 || attributes.depth > 32 || ((visual->red_mask | visual->green_mask | visual->blue_mask) >> 32) != 0)
    return nullptr;
  const drawing::ChannelMasks masks{static_cast<std::uint32_t>(visual->red_mask),
                                    static_cast<std::uint32_t>(visual->green_mask),
                                    static_cast<std::uint32_t>(visual->blue_mask)};
  if (masks.red == 0xFF0000 && masks.green == 0xFF00 && masks.blue == 0xFF) return nullptr;
  return std::unique_ptr<DeepColorWindow>(new DeepColorWindow(display, window, attributes.depth, masks));
}

void DeepColorWindow::Show(const drawing::Surface& pixels, std::span<const drawing::Box> boxes) {
  for (const drawing::Box& unclipped : boxes) {
    const drawing::Box box = drawing::Intersection(unclipped, {0, 0, pixels.width, pixels.height});
    if (box.width == 0) continue;
    row_.resize(static_cast<std::size_t>(box.width) * box.height);
    const drawing::Surface part{pixels.pixels + static_cast<std::ptrdiff_t>(box.y) * pixels.stride + box.x, box.width,
                                box.height, pixels.stride};
    const drawing::Box whole{0, 0, box.width, box.height};
    drawing::ConvertBoxes(part, std::span(&whole, 1), masks_, row_.data(), box.width);
    XImage image{};
    image.width = box.width;
    image.height = box.height;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(row_.data());
    // The pixels are in this machine's order; Xlib swaps them for a server
    // of the other.
    image.byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = BitmapBitOrder(display_);
    image.bitmap_pad = 32;
    image.depth = depth_;
    image.bytes_per_line = box.width * 4;
    image.bits_per_pixel = 32;
    image.red_mask = masks_.red;
    image.green_mask = masks_.green;
    image.blue_mask = masks_.blue;
    if (!XInitImage(&image)) continue;
    XPutImage(display_, window_, gc_, &image, 0, 0, box.x, box.y, static_cast<unsigned>(box.width),
              static_cast<unsigned>(box.height));
  }
  XFlush(display_);
}

}  // namespace platform
