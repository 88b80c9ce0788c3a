// The views of a window's areas and where each lands, the same on every
// display: each area gets a canvas, painting in place when the view is the
// area's own pixels, else onto a view off screen that each present maps
// into the area.

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/geometry.h"
#include "drawing/scale.h"
#include "platform/backend.h"

namespace platform {

struct View {
  drawing::Box area;  // in the window
  // Laid out by the form's OnLayout: the window covers a screen (full
  // screen, another program's window).  Otherwise the view is the client
  // area, fitted and centred.
  bool fills = false;
  drawing::Placement placement;
  TCanvas* canvas = nullptr;  // paints the view
};

class Views {
 public:
  using Layout = std::function<drawing::Placement(drawing::Size area)>;

  // `first` paints the first view; the others get canvases of their own.
  // `client` is the view of an area that does not fill; `background` the
  // colour a view shows until painted.
  Views(TCanvas& first, drawing::Size client, drawing::Pixel background);

  // Lays the views out for `areas` of `pixels`, laid out once each, and
  // clears `pixels`.  True when the views are not the ones there were.
  bool Lay(const std::vector<Area>& areas, const drawing::Surface& pixels, const Layout& layout);
  // Points the canvases painting in place at `pixels`, which may have moved
  // since the last round.
  void Attach(const drawing::Surface& pixels);
  // Whether anything was painted or laid out since the last Show.
  bool Changed() const { return shownVersion_ != Version(); }
  // Maps the views off screen into `pixels`: the boxes of it that changed.
  std::vector<drawing::Box> Show(const drawing::Surface& pixels);
  // The boxes each Show brings up to date whatever they held before: those
  // of the views off screen.
  std::vector<drawing::Box> Repainted() const;

  std::vector<View> List() const;

 private:
  struct Painted {
    View shown;
    std::unique_ptr<TCanvas> ownCanvas;          // for the views after the first
    std::optional<drawing::ScaledView> scaled;  // the view off screen, when not painted in place
  };
  std::uint64_t Version() const;

  TCanvas& first_;
  drawing::Size client_;
  drawing::Pixel background_;
  std::vector<Painted> views_;
  bool whole_ = true;  // the next Show names the whole of the pixels
  std::uint64_t shownVersion_ = 0;
};

}  // namespace platform
