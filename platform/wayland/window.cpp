// The window: an xdg-shell toplevel of fixed size, decorated by the
// compositor where it offers to, full screen on request.

#include <algorithm>

#include "drawing/exception.h"
#include "platform/wayland/display.h"

namespace platform::wayland {

namespace {

WaylandBackend* Self(void* data) { return static_cast<WaylandBackend*>(data); }

View& WindowView(void* data) { return *Self(data)->views_.front(); }

const wl_surface_listener kSurface = {
    .enter =
        [](void* data, wl_surface*, wl_output* output) {
          auto* self = Self(data);
          View& view = WindowView(data);
          if (const Output* o = self->OutputOf(output); o != nullptr) {
            view.entered.push_back(o);
            self->Rescale(view);
          }
        },
    .leave =
        [](void* data, wl_surface*, wl_output* output) {
          auto* self = Self(data);
          View& view = WindowView(data);
          if (std::erase(view.entered, self->OutputOf(output)) > 0) self->Rescale(view);
        },
};

// The toplevel's configure only proposes; the xdg_surface's that follows
// says the proposal is whole.
const xdg_toplevel_listener kToplevel = {
    .configure =
        [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array* states) {
          auto* self = Self(data);
          self->proposedSize_ = {width, height};
          self->proposedFullScreen_ = false;
          for (const auto* state = static_cast<const std::uint32_t*>(states->data);
               reinterpret_cast<const char*>(state) < static_cast<const char*>(states->data) + states->size; ++state)
            if (*state == XDG_TOPLEVEL_STATE_FULLSCREEN) self->proposedFullScreen_ = true;
        },
    .close = [](void* data, xdg_toplevel*) { Self(data)->Post(Event::kCloseAsked); },
    .configure_bounds = [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},
    .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
};

const xdg_surface_listener kXdgSurface = {
    .configure =
        [](void* data, xdg_surface* surface, std::uint32_t serial) {
          xdg_surface_ack_configure(surface, serial);
          Self(data)->Configured(WindowView(data));
        },
};

const wp_fractional_scale_v1_listener kFractional = {
    .preferred_scale =
        [](void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
          View& view = WindowView(data);
          view.scale120 = static_cast<int>(scale);
          Self(data)->Rescale(view);
        },
};

}  // namespace

void WaylandBackend::Open(const WindowLook& look, const Presentation& presentation) {
  look_ = look;
  presentation_ = presentation;
  opened_ = true;
  switch (presentation.kind) {
    case Presentation::kHostWindow:
      throw Exception("Cannot draw in another program's window on the Wayland display " + Quoted(displayName_) +
                      ": only X11 windows can be shared");
    case Presentation::kRoot: OpenBackground(); break;
    case Presentation::kWindow:
    case Presentation::kFullScreen: OpenWindow(presentation.kind == Presentation::kFullScreen); break;
  }
  DispatchUntil([&] { return std::ranges::all_of(views_, [](const auto& v) { return v->configured; }); });
}

View& WaylandBackend::NewView() {
  auto view = std::make_unique<View>();
  view->surface = wl_compositor_create_surface(compositor_);
  // Every pixel is opaque: the compositor need not paint what lies beneath.
  wl_region* opaque = wl_compositor_create_region(compositor_);
  wl_region_add(opaque, 0, 0, INT32_MAX, INT32_MAX);
  wl_surface_set_opaque_region(view->surface, opaque);
  wl_region_destroy(opaque);
  view->ring = std::make_unique<BufferRing>([this](drawing::Size size) { return MakeBuffer(size); },
                                            [](Buffer& buffer) { FreeBuffer(buffer); });
  views_.push_back(std::move(view));
  return *views_.back();
}

drawing::Size WaylandBackend::WindowedSize() const {
  const int scale = std::clamp(presentation_.scale, 1, 16);
  return {look_.client.width * scale, look_.client.height * scale};
}

void WaylandBackend::OpenWindow(bool fullScreen) {
  View& view = NewView();
  wl_surface_add_listener(view.surface, &kSurface, this);
  if (fractionalScale_ != nullptr && viewporter_ != nullptr) {
    view.viewport = wp_viewporter_get_viewport(viewporter_, view.surface);
    view.fractional = wp_fractional_scale_manager_v1_get_fractional_scale(fractionalScale_, view.surface);
    wp_fractional_scale_v1_add_listener(view.fractional, &kFractional, this);
  }
  // Without the compositor's title bar, libdecor draws one; without
  // libdecor the window still shows, bare.
  if (decorations_ == nullptr && OpenDrawnFrame(view, fullScreen)) {
    wl_surface_commit(view.drawnSurface);
    return;
  }
  view.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, view.surface);
  xdg_surface_add_listener(view.xdgSurface, &kXdgSurface, this);
  view.toplevel = xdg_surface_get_toplevel(view.xdgSurface);
  xdg_toplevel_add_listener(view.toplevel, &kToplevel, this);
  xdg_toplevel_set_title(view.toplevel, look_.caption.c_str());
  xdg_toplevel_set_app_id(view.toplevel, look_.appId.c_str());
  HoldSize(!fullScreen);
  if (decorations_ != nullptr) {
    view.decoration = zxdg_decoration_manager_v1_get_toplevel_decoration(decorations_, view.toplevel);
    zxdg_toplevel_decoration_v1_set_mode(view.decoration, ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
  }
  // The compositor picks the output: the one the user is at.
  if (fullScreen) xdg_toplevel_set_fullscreen(view.toplevel, nullptr);
  wl_surface_commit(view.surface);
}

// A window of fixed size, which tiling compositors float; any size while it
// fills an output.
void WaylandBackend::HoldSize(bool hold) {
  const drawing::Size size = hold ? WindowedSize() : drawing::Size{};
  if (views_.front()->drawnFrame != nullptr) return HoldDrawnFrameSize(size);
  xdg_toplevel* toplevel = views_.front()->toplevel;
  xdg_toplevel_set_min_size(toplevel, size.width, size.height);
  xdg_toplevel_set_max_size(toplevel, size.width, size.height);
}

drawing::Size WaylandBackend::ConfiguredSize() const {
  // Only a full screen takes the compositor's size; the window keeps its own.
  const bool fills = proposedFullScreen_ && proposedSize_.width > 0 && proposedSize_.height > 0;
  return fills ? proposedSize_ : WindowedSize();
}

void WaylandBackend::Configured(View& view) {
  const bool wasFullScreen = fullScreen_;
  fullScreen_ = proposedFullScreen_;
  view.logical = ConfiguredSize();
  const bool first = !view.configured;
  view.configured = true;
  const drawing::Size before = view.ring->size();
  Rescale(view);
  ShowFirst(view);
  if (!first && fullScreen_ != wasFullScreen && view.ring->size() == before) Post(Event::kAreasChanged);
}

void WaylandBackend::SetFullScreen(bool on) {
  if (presentation_.kind != Presentation::kWindow || views_.empty() || on == fullScreen_) return;
  View& view = *views_.front();
  HoldSize(!on);
  if (view.drawnFrame != nullptr) {
    SetDrawnFrameFullScreen(on);
  } else if (on) {
    xdg_toplevel_set_fullscreen(view.toplevel, view.entered.empty() ? nullptr : view.entered.front()->output);
  } else {
    xdg_toplevel_unset_fullscreen(view.toplevel);
  }
  wl_surface_commit(view.drawnFrame != nullptr ? view.drawnSurface : view.surface);
}

}  // namespace platform::wayland
