#include "bench/sdl_frames.h"

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "scene/drops.h"

using drawing::Pixel;
using scene::DropColor;
using scene::FarDropColor;

namespace {

[[noreturn]] void FailWithSdlError(const char* what) {
  throw std::runtime_error(std::string(what) + ": " + SDL_GetError());
}

// Both the bitmaps and this surface format keep pixels as 0x00RRGGBB.
constexpr Uint32 kFrameFormat = SDL_PIXELFORMAT_RGB888;

}  // namespace

struct SdlReferenceFrame::Impl {
  SDL_Surface* frame = nullptr;
  SDL_Surface* picture = nullptr;
  SDL_Renderer* renderer = nullptr;

  ~Impl() {
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (picture != nullptr) SDL_FreeSurface(picture);
    if (frame != nullptr) SDL_FreeSurface(frame);
  }
};

SdlReferenceFrame::SdlReferenceFrame(const TBitmap& picture) : impl_(std::make_unique<Impl>()) {
  impl_->frame = SDL_CreateRGBSurfaceWithFormat(0, SceneWidth, SceneHeight, 32, kFrameFormat);
  if (impl_->frame == nullptr) FailWithSdlError("cannot create the frame surface");
  impl_->picture =
      SDL_CreateRGBSurfaceWithFormat(0, picture.width(), picture.height(), 32, kFrameFormat);
  if (impl_->picture == nullptr) FailWithSdlError("cannot create the picture surface");
  for (int y = 0; y < picture.height(); ++y) {
    auto* row = static_cast<Uint8*>(impl_->picture->pixels) + y * impl_->picture->pitch;
    std::memcpy(row, picture.Row(y), sizeof(Pixel) * static_cast<std::size_t>(picture.width()));
  }
  if (SDL_SetColorKey(impl_->picture, SDL_TRUE, picture.TransparentPixel()) != 0 ||
      SDL_SetSurfaceRLE(impl_->picture, 1) != 0) {
    FailWithSdlError("cannot make the picture colour-keyed");
  }
  impl_->renderer = SDL_CreateSoftwareRenderer(impl_->frame);
  if (impl_->renderer == nullptr) FailWithSdlError("cannot create the software renderer");
  // SDL encodes the RLE runs at the first blit; do it here, not in the timing.
  SDL_Rect origin{0, 0, 0, 0};
  SDL_BlitSurface(impl_->picture, nullptr, impl_->frame, &origin);
}

SdlReferenceFrame::~SdlReferenceFrame() = default;

void SdlReferenceFrame::Paint(const Rain& rain) {
  SDL_Surface* frame = impl_->frame;
  const auto level = static_cast<Uint8>(rain.skyLevel);
  SDL_FillRect(frame, nullptr, SDL_MapRGB(frame->format, level, level, level));

  SDL_SetRenderDrawColor(impl_->renderer, FarDropColor & 0xFF, (FarDropColor >> 8) & 0xFF,
                         (FarDropColor >> 16) & 0xFF, SDL_ALPHA_OPAQUE);
  for (const FarDrop& drop : rain.farDrops) {
    const drawing::Point end = drop.StreakEnd();
    SDL_RenderDrawLine(impl_->renderer, drop.x, drop.y, end.x, end.y);
  }
  SDL_RenderFlush(impl_->renderer);

  SDL_Rect origin{0, 0, 0, 0};
  SDL_BlitSurface(impl_->picture, nullptr, frame, &origin);

  const Uint32 dropPixel = SDL_MapRGB(frame->format, DropColor & 0xFF, (DropColor >> 8) & 0xFF,
                                      (DropColor >> 16) & 0xFF);
  for (const Drop& drop : rain.drops) {
    for (int i = 0; i < drop.size; ++i) {
      const SDL_Rect block{drop.x + 3 * i, drop.y + 6 * i, 3, 6};
      SDL_FillRect(frame, &block, dropPixel);
    }
  }
}

struct WindowSurfaceCopy::Impl {
  SDL_Surface* target = nullptr;
  TCanvas canvas;

  ~Impl() {
    if (target != nullptr) SDL_FreeSurface(target);
  }
};

WindowSurfaceCopy::WindowSurfaceCopy(int width, int height) : impl_(std::make_unique<Impl>()) {
  impl_->target = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, kFrameFormat);
  if (impl_->target == nullptr) FailWithSdlError("cannot create the window-layout surface");
  SDL_Surface* target = impl_->target;
  impl_->canvas.Attach(drawing::Surface{static_cast<Pixel*>(target->pixels), target->w, target->h,
                               target->pitch / static_cast<int>(sizeof(Pixel))});
}

WindowSurfaceCopy::~WindowSurfaceCopy() = default;

void WindowSurfaceCopy::Copy(const TBitmap& frame) { impl_->canvas.Draw(0, 0, &frame); }

const drawing::Surface& WindowSurfaceCopy::surface() const { return impl_->canvas.surface(); }
