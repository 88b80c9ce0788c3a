// The two measurements that need SDL: a frame built only from SDL's own
// surface calls, as a developer with SDL alone would write it, and the copy
// of a finished frame into a window-layout surface.  Nothing here exposes
// SDL, so the rest of the benchmark stays free of its headers.

#pragma once

#include <memory>

#include "drawing/canvas.h"
#include "scene/rain.h"

// Paints the last frame of a scene the way plain SDL would: SDL_FillRect for
// the sky at the scene's level, the picture as a colour-keyed RLE surface,
// SDL_FillRect for every block of a near drop and the software renderer for
// the far-drop lines.
class SdlReferenceFrame {
 public:
  explicit SdlReferenceFrame(const TBitmap& picture);
  ~SdlReferenceFrame();
  SdlReferenceFrame(const SdlReferenceFrame&) = delete;
  SdlReferenceFrame& operator=(const SdlReferenceFrame&) = delete;

  void Paint(const Rain& rain);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A 0x00RRGGBB surface of the window's client size with a canvas attached to
// its pixels, the way the program presents a frame.
class WindowSurfaceCopy {
 public:
  WindowSurfaceCopy(int width, int height);
  ~WindowSurfaceCopy();
  WindowSurfaceCopy(const WindowSurfaceCopy&) = delete;
  WindowSurfaceCopy& operator=(const WindowSurfaceCopy&) = delete;

  void Copy(const TBitmap& frame);
  const drawing::Surface& surface() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
