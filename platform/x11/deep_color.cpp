#include "platform/x11/deep_color.h"

#include <SDL.h>

#include <bit>

#include "platform/x11/internal.h"

#include <X11/Xutil.h>

namespace platform {

struct DeepColorWindow::X {
  SDL_Window* handle;
  Display* display;
  Window window;
  Visual* visual;
  int depth;
  GC gc;
  drawing::ChannelMasks masks;
};

std::unique_ptr<DeepColorWindow> DeepColorWindow::Of(SDL_Window* handle) {
  Display* display = nullptr;
  Window window = 0;
  XWindowAttributes attributes{};
  if (!X11Of(handle, display, window) || !XGetWindowAttributes(display, window, &attributes)) return nullptr;
  const Visual* visual = attributes.visual;
  const unsigned long all = visual->red_mask | visual->green_mask | visual->blue_mask;
  // Only what SDL leaves out: 24 bits and less it draws itself.
  if (attributes.depth <= 24 || attributes.depth > 32 || (all >> 32) != 0) return nullptr;
  const drawing::ChannelMasks masks{static_cast<std::uint32_t>(visual->red_mask),
                                    static_cast<std::uint32_t>(visual->green_mask),
                                    static_cast<std::uint32_t>(visual->blue_mask)};
  if (masks.red == 0xFF0000 && masks.green == 0xFF00 && masks.blue == 0xFF) return nullptr;
  GC gc = XCreateGC(display, window, 0, nullptr);
  return std::unique_ptr<DeepColorWindow>(new DeepColorWindow(
      std::make_unique<X>(X{handle, display, window, attributes.visual, attributes.depth, gc, masks})));
}

DeepColorWindow::DeepColorWindow(std::unique_ptr<X> x) : x_(std::move(x)) {}

DeepColorWindow::~DeepColorWindow() { XFreeGC(x_->display, x_->gc); }

drawing::Size DeepColorWindow::Size() const {
  int width = 0, height = 0;
  SDL_GetWindowSize(x_->handle, &width, &height);
  return {width, height};
}

void DeepColorWindow::Show(const drawing::Surface& pixels, std::span<const drawing::Box> boxes) {
  for (const drawing::Box& unclipped : boxes) {
    const drawing::Box box = drawing::Intersection(unclipped, {0, 0, pixels.width, pixels.height});
    if (box.width == 0) continue;
    row_.resize(static_cast<std::size_t>(box.width) * box.height);
    const drawing::Surface part{pixels.pixels + static_cast<std::ptrdiff_t>(box.y) * pixels.stride + box.x, box.width,
                                box.height, pixels.stride};
    const drawing::Box whole{0, 0, box.width, box.height};
    drawing::ConvertBoxes(part, std::span(&whole, 1), x_->masks, row_.data(), box.width);
    XImage image{};
    image.width = box.width;
    image.height = box.height;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(row_.data());
    // The pixels are in this machine's order; Xlib swaps them for a server
    // of the other.
    image.byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = BitmapBitOrder(x_->display);
    image.bitmap_pad = 32;
    image.depth = x_->depth;
    image.bytes_per_line = box.width * 4;
    image.bits_per_pixel = 32;
    image.red_mask = x_->masks.red;
    image.green_mask = x_->masks.green;
    image.blue_mask = x_->masks.blue;
    if (!XInitImage(&image)) continue;
    XPutImage(x_->display, x_->window, x_->gc, &image, 0, 0, box.x, box.y, static_cast<unsigned>(box.width),
              static_cast<unsigned>(box.height));
  }
  XFlush(x_->display);
}

}  // namespace platform
