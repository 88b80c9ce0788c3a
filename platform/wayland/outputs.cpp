// The outputs, their scales, and the device pixels each view is painted in.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/wayland/display.h"

namespace platform::wayland {

namespace {

const wl_output_listener kOutput = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   const char*, const char*, std::int32_t) {},
    .mode =
        [](void* data, wl_output* output, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
          auto* self = static_cast<WaylandBackend*>(data);
          if (Output* o = self->OutputOf(output); o != nullptr && (flags & WL_OUTPUT_MODE_CURRENT) != 0)
            o->mode = {width, height};
        },
    .done =
        [](void* data, wl_output* output) {
          auto* self = static_cast<WaylandBackend*>(data);
          if (Output* o = self->OutputOf(output); o != nullptr) self->OutputDone(*o);
        },
    .scale =
        [](void* data, wl_output* output, std::int32_t factor) {
          if (Output* o = static_cast<WaylandBackend*>(data)->OutputOf(output); o != nullptr)
            o->pendingScale = std::max(factor, 1);
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

}  // namespace

void WaylandBackend::AddOutput(wl_output* output, std::uint32_t name) {
  auto added = std::make_unique<Output>();
  added->output = output;
  added->name = name;
  wl_output_add_listener(output, &kOutput, this);
  outputs_.push_back(std::move(added));
}

Output* WaylandBackend::OutputOf(const wl_output* output) {
  for (auto& o : outputs_)
    if (o->output == output) return o.get();
  return nullptr;
}

void WaylandBackend::OutputDone(Output& output) {
  const bool first = !output.done;
  output.done = true;
  output.scale = output.pendingScale;
  if (!opened_) return;
  if (first && presentation_.kind == Presentation::kRoot) AddBackground(output);
  for (auto& view : views_)
    if (view->output == &output || std::ranges::find(view->entered, &output) != view->entered.end()) Rescale(*view);
}

void WaylandBackend::RemoveOutput(std::uint32_t name) {
  const auto found = std::ranges::find_if(outputs_, [&](const auto& o) { return o->name == name; });
  if (found == outputs_.end()) return;
  const Output* gone = found->get();
  for (std::size_t i = views_.size(); i-- > 0;) {
    View& view = *views_[i];
    if (view.output == gone) {
      DropView(view);
      LayOut();
      Post(Event::kAreasChanged);
      continue;
    }
    if (std::erase(view.entered, gone) > 0) Rescale(view);
  }
  wl_output_destroy((*found)->output);
  outputs_.erase(found);
}

// Whole scales through the buffer's scale, a fractional one through the
// viewport; either way the buffer is in device pixels, so that a view pixel
// painted as an N x N block lands on N x N pixels of the screen.
void WaylandBackend::Rescale(View& view) {
  if (!view.configured) return;
  int scale = 1;
  if (view.output != nullptr) {
    scale = view.output->scale;
  } else if (!view.entered.empty()) {
    for (const Output* o : view.entered) scale = std::max(scale, o->scale);
  } else if (outputs_.size() == 1) {
    scale = outputs_.front()->scale;  // where it will show
  }
  drawing::Size device{view.logical.width * scale, view.logical.height * scale};
  if (view.scale120 > 0 && view.viewport != nullptr) {
    scale = 1;
    device = {static_cast<int>(std::lround(view.logical.width * view.scale120 / 120.0)),
              static_cast<int>(std::lround(view.logical.height * view.scale120 / 120.0))};
    wp_viewport_set_destination(view.viewport, view.logical.width, view.logical.height);
  }
  view.bufferScale = scale;
  if (device == view.ring->size()) return;
  view.ring->Resize(device, look_.background);
  LayOut();
  Post(Event::kAreasChanged);
}

// The views side by side in one combined picture, when there are several.
void WaylandBackend::LayOut() {
  int x = 0, height = 0;
  for (auto& view : views_) {
    const drawing::Size size = view->ring->size();
    view->area = {x, 0, size.width, size.height};
    view->pending.clear();
    x += size.width;
    height = std::max(height, size.height);
  }
  combinedSize_ = {x, height};
  combined_.clear();
  if (views_.size() < 2) return;
  combined_.assign(static_cast<std::size_t>(x) * height, look_.background);
  // It holds what each view shows now, as Pixels() promises.
  for (auto& view : views_) {
    const Buffer* shown = view->ring->Latest();
    if (shown == nullptr) continue;
    for (int y = 0; y < shown->size.height; ++y)
      std::memcpy(&combined_[static_cast<std::size_t>(y) * x + view->area.x],
                  shown->pixels + static_cast<std::ptrdiff_t>(y) * shown->size.width,
                  static_cast<std::size_t>(shown->size.width) * sizeof(drawing::Pixel));
  }
}

std::vector<Area> WaylandBackend::Areas() {
  std::vector<Area> areas;
  for (auto& view : views_) {
    if (view->area.width <= 0 || view->area.height <= 0) continue;
    areas.push_back({view->area, view->layer != nullptr || fullScreen_});
  }
  return areas;
}

}  // namespace platform::wayland
