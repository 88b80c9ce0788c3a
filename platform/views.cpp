#include "platform/views.h"

namespace platform {

namespace {

drawing::Surface AreaOf(const drawing::Surface& surface, const drawing::Box& area) {
  return {surface.pixels + static_cast<std::ptrdiff_t>(area.y) * surface.stride + area.x, area.width, area.height,
          surface.stride};
}

bool InPlace(const drawing::Placement& layout, drawing::Size area) {
  return layout.view == area && layout.box == drawing::Box{0, 0, area.width, area.height};
}

}  // namespace

Views::Views(TCanvas& first, drawing::Size client, drawing::Pixel background)
    : first_(first), client_(client), background_(background) {}

std::uint64_t Views::Version() const {
  std::uint64_t version = first_.version();
  for (const Painted& view : views_)
    if (view.ownCanvas) version += view.ownCanvas->version();
  return version;
}

bool Views::Lay(const std::vector<Area>& areas, const drawing::Surface& pixels, const Layout& layout) {
  const auto fitted = [this](drawing::Size area) {
    return drawing::Placement{client_, drawing::FitView(client_.width, client_.height, area.width, area.height).box};
  };
  bool changed = views_.size() != areas.size();
  views_.resize(areas.size());
  drawing::FillOutside(pixels, {}, 0);  // what lies outside every area
  for (std::size_t i = 0; i < areas.size(); ++i) {
    Painted& view = views_[i];
    const Area& area = areas[i];
    const drawing::Size size{area.box.width, area.box.height};
    const drawing::Placement placement = area.fills && layout ? layout(size) : fitted(size);
    changed = changed || view.shown.area != area.box || view.shown.fills != area.fills ||
              view.shown.placement != placement;
    if (i > 0 && !view.ownCanvas) view.ownCanvas = std::make_unique<TCanvas>();
    TCanvas& canvas = i == 0 ? first_ : *view.ownCanvas;
    view.shown = {area.box, area.fills, placement, &canvas};
    const drawing::Surface target = AreaOf(pixels, area.box);
    if (InPlace(placement, size)) {
      view.scaled.reset();
      canvas.Attach(target);
      drawing::FillOutside(target, {}, background_);
      continue;
    }
    if (!view.scaled || view.scaled->view().width != placement.view.width ||
        view.scaled->view().height != placement.view.height) {
      view.scaled.emplace(placement.view.width, placement.view.height, background_);
      canvas.Attach(view.scaled->view());
    }
    view.scaled->Fit(target, placement.box);
  }
  whole_ = true;
  shownVersion_ = ~Version();  // the cleared pixels are shown
  return changed;
}

void Views::Attach(const drawing::Surface& pixels) {
  for (Painted& view : views_)
    if (!view.scaled) view.shown.canvas->Attach(AreaOf(pixels, view.shown.area));
}

std::vector<drawing::Box> Views::Show(const drawing::Surface& pixels) {
  bool whole = whole_;
  for (Painted& view : views_) {
    if (view.scaled) {
      view.scaled->Show(AreaOf(pixels, view.shown.area));
    } else {
      whole = true;
    }
  }
  whole_ = false;
  shownVersion_ = Version();
  if (whole) return {{0, 0, pixels.width, pixels.height}};
  // Between layouts only the views' boxes change in their areas.
  return Repainted();
}

std::vector<drawing::Box> Views::Repainted() const {
  std::vector<drawing::Box> boxes;
  for (const Painted& view : views_) {
    if (!view.scaled) continue;
    const drawing::Box& area = view.shown.area;
    const drawing::Box box = view.scaled->box();
    boxes.push_back(drawing::Intersection({area.x + box.x, area.y + box.y, box.width, box.height}, area));
  }
  return boxes;
}

std::vector<View> Views::List() const {
  std::vector<View> views;
  for (const Painted& view : views_) views.push_back(view.shown);
  return views;
}

}  // namespace platform
