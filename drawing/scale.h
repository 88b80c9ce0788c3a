// Showing a finished frame larger or smaller than it was painted: a window at
// a whole scale, a full screen, a screensaver's window.
//
// The drawing layer's contract (drawing/canvas.h) holds here too: pixels are
// 0x00RRGGBB, strides count pixels, boxes are half-open.  Scaling never
// blends: every pixel it writes is a copy of exactly one source pixel, so a
// frame reaches the screen pixel for pixel.

#pragma once

#include <optional>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/geometry.h"

namespace drawing {

// Where a view lands in an area.
struct ViewFit {
  Box box;
  // N when the box is the view at N times its size; 0 when the view had to
  // be shrunk, or when there is nothing to show.
  int scale = 0;
  friend bool operator==(const ViewFit&, const ViewFit&) = default;
};

// Fits a view of viewWidth x viewHeight into an area of areaWidth x
// areaHeight, centred (an odd leftover puts the extra pixel right or below).
// When the view fits at least once, the box is the view at the largest whole
// scale that fits.  Otherwise it is the largest box with the view's
// proportions (rounded down) that fits, but never less than 1 x 1.  Only an
// empty view or an empty area gives an empty box.
ViewFit FitView(int viewWidth, int viewHeight, int areaWidth, int areaHeight);

// How a scene fills a region at least as large as its picture: the picture
// at the largest whole scale N that fits (at least 1), centred across (its
// left edge at (region width - N picture width) / 2, rounded down) and
// standing on the region's bottom row, and the scene around it out to every
// edge, each scene pixel an N x N block on the picture's grid of blocks.
struct Fill {
  int scale = 1;
  Size scene;     // the scene, in its own pixels
  Point origin;   // where the block of scene pixel (0, 0) starts in the region: -N < x, y <= 0
  Point picture;  // where the picture's top-left pixel lies in the scene
  // Where the scene lands in the region, N times its size; it may reach
  // past the region's right and bottom edges and before its top and left
  // ones by less than a block.
  Box InRegion() const { return {origin.x, origin.y, scene.width * scale, scene.height * scale}; }
  friend bool operator==(const Fill&, const Fill&) = default;
};

// Nothing when the region is narrower or lower than the picture.
std::optional<Fill> FillRegion(Size region, Size picture);

// Copies `source` into `box` on `target`, scaled to the box's size: target
// pixel (x, y) of the box takes source pixel
//     (floor(x * source.width / box.width), floor(y * source.height / box.height)),
// which makes each source pixel an N x N block when the box is N times the
// source.  Only the part of the box inside the target is written; nothing
// else is touched.  Source and target must not share pixels.
void PresentScaled(const Surface& target, const Box& box, const Surface& source);

// PresentScaled for a target whose box still shows `shown`, a source of the
// same size presented into the same box, which this brings up to date with
// `source` where the target shows it: pixels equal to those of `shown` need
// not be written again.
// Between two frames of the animation most of the view stays the same, and a
// scaled frame is several times larger than the view.  Where PresentScaled
// would write the whole box in bands of whole blocks, only the runs of eight
// source pixels in which something changed are written, to the target and to
// `shown`; every other box is written whole, and `shown` copied whole.
void PresentScaledChanges(const Surface& target, const Box& box, const Surface& source, const Surface& shown);

// A view painted off screen and shown fitted in a target of another size: a
// window at a whole scale, a full screen, another program's window.
class ScaledView {
 public:
  ScaledView(int width, int height, Pixel background);

  // What the canvas paints: width x height pixels, kept between frames.
  Surface view();
  // Where the view lands in the target Fit last saw.
  const Box& box() const { return box_; }

  // The target is new or lost what it showed: the view lands in `box` of
  // it from now on, at the box's size, and black paints the rest of the
  // target; the next Show writes the whole box.
  void Fit(const Surface& target, const Box& box);
  // Shows the view in its box, bringing the whole box up to date.  A
  // display may hand out a few buffers in turn, each of the target's size
  // and layout.  On a target shown on in each of the last two Shows only
  // what changed since is written (PresentScaledChanges), where the box
  // lets unchanged pixels be skipped; any other is written whole.
  void Show(const Surface& target);

 private:
  int width_;
  int height_;
  std::vector<Pixel> view_;
  std::vector<Pixel> shown_;        // what `shownOn_` shows in the box
  const Pixel* shownOn_ = nullptr;  // a target kept up to date by changes alone
  const Pixel* lastTarget_ = nullptr;
  Box box_;
  bool skipsUnchanged_ = false;
};

// Paints every pixel of `target` outside `box` with `colour`.  Kept apart
// from PresentScaled because the surround only changes when the target does,
// not with every frame.
void FillOutside(const Surface& target, const Box& box, Pixel colour);

}  // namespace drawing
