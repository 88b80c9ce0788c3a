// The rain as the desktop's background: a layer surface under every window
// on each output, following outputs as they come and go.

#include <algorithm>

#include "drawing/exception.h"
#include "platform/wayland/display.h"

namespace platform::wayland {

namespace {

View* ViewOfLayer(WaylandBackend& self, const zwlr_layer_surface_v1* layer) {
  for (auto& view : self.views_)
    if (view->layer == layer) return view.get();
  return nullptr;
}

const zwlr_layer_surface_v1_listener kLayer = {
    .configure =
        [](void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width, std::uint32_t height) {
          auto& self = *static_cast<WaylandBackend*>(data);
          zwlr_layer_surface_v1_ack_configure(layer, serial);
          View* view = ViewOfLayer(self, layer);
          if (view == nullptr) return;
          view->logical = {static_cast<int>(width), static_cast<int>(height)};
          view->configured = true;
          self.Rescale(*view);
          self.ShowFirst(*view);
        },
    .closed =
        [](void* data, zwlr_layer_surface_v1* layer) {
          auto& self = *static_cast<WaylandBackend*>(data);
          if (View* view = ViewOfLayer(self, layer); view != nullptr) {
            self.DropView(*view);
            self.LayOut();
            self.Post(Event::kAreasChanged);
          }
        },
};

}  // namespace

void WaylandBackend::OpenBackground() {
  if (layerShell_ == nullptr)
    throw Exception("the Wayland display " + Quoted(displayName_) +
                    " offers no desktop background to draw on (wlr-layer-shell), which --root needs");
  for (auto& output : outputs_)
    if (output->done) AddBackground(*output);
}

void WaylandBackend::AddBackground(Output& output) {
  View& view = NewView();
  view.output = &output;
  view.layer = zwlr_layer_shell_v1_get_layer_surface(layerShell_, view.surface, output.output,
                                                     ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "rain");
  zwlr_layer_surface_v1_add_listener(view.layer, &kLayer, this);
  // The whole output, panels or not, and no keyboard: the desktop's own.
  zwlr_layer_surface_v1_set_anchor(view.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                   ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                   ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_exclusive_zone(view.layer, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(view.layer, 0);
  wl_surface_commit(view.surface);
}

void WaylandBackend::DropView(View& view) {
  if (view.frame != nullptr) wl_callback_destroy(view.frame);
  view.ring.reset();
  if (view.fractional != nullptr) wp_fractional_scale_v1_destroy(view.fractional);
  if (view.viewport != nullptr) wp_viewport_destroy(view.viewport);
  if (view.decoration != nullptr) zxdg_toplevel_decoration_v1_destroy(view.decoration);
  DropDrawnFrame(view);
  if (view.toplevel != nullptr) xdg_toplevel_destroy(view.toplevel);
  if (view.xdgSurface != nullptr) xdg_surface_destroy(view.xdgSurface);
  if (view.layer != nullptr) zwlr_layer_surface_v1_destroy(view.layer);
  wl_surface_destroy(view.surface);
  std::erase_if(views_, [&](const auto& v) { return v.get() == &view; });
}

}  // namespace platform::wayland
