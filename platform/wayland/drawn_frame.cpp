// The window where the compositor draws no title bar (GNOME, weston):
// libdecor makes the toplevel and draws one with close and minimise.
//
// libdecor stacks its shadow, a translucent rectangle larger than the
// window, above the surface it decorates, so a compositor without a GPU
// would blend it over every frame.  Where it can, the picture goes to a
// subsurface on top of libdecor's, whose opaque region hides all below; the
// decorated surface shows one black pixel, stretched to the window's size.

#include <libdecor.h>

#include "drawing/exception.h"
#include "platform/wayland/display.h"

namespace platform::wayland {

namespace {

WaylandBackend* Self(void* data) { return static_cast<WaylandBackend*>(data); }

libdecor_interface kContext = {
    .error =
        [](libdecor*, libdecor_error, const char* message) {
          // Reached through the display's dispatch, which rethrows nothing:
          // kept and raised by CheckConnection.
          WaylandBackend::NoteDrawnFrameError(message);
        },
    .reserved0 = nullptr, .reserved1 = nullptr, .reserved2 = nullptr, .reserved3 = nullptr, .reserved4 = nullptr,
    .reserved5 = nullptr, .reserved6 = nullptr, .reserved7 = nullptr, .reserved8 = nullptr, .reserved9 = nullptr,
};

libdecor_frame_interface kFrame = {
    .configure =
        [](libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
          auto* self = Self(data);
          int width = 0, height = 0;
          if (!libdecor_configuration_get_content_size(configuration, frame, &width, &height)) width = height = 0;
          libdecor_window_state state = LIBDECOR_WINDOW_STATE_NONE;
          const bool known = libdecor_configuration_get_window_state(configuration, &state);
          self->proposedFullScreen_ = known && (state & LIBDECOR_WINDOW_STATE_FULLSCREEN) != 0;
          self->proposedSize_ = {width, height};
          View& view = *self->views_.front();
          const drawing::Size size = self->ConfiguredSize();
          libdecor_state* content = libdecor_state_new(size.width, size.height);
          libdecor_frame_commit(frame, content, configuration);
          libdecor_state_free(content);
          if (view.lifted == nullptr) self->Lift(view);
          self->Configured(view);
          self->ShowUnderPicture(view);
        },
    .close = [](libdecor_frame*, void* data) { Self(data)->Post(Event::kCloseAsked); },
    .commit = [](libdecor_frame*, void* data) { wl_surface_commit(Self(data)->views_.front()->drawnSurface); },
    .dismiss_popup = [](libdecor_frame*, const char*, void*) {},
    .reserved0 = nullptr, .reserved1 = nullptr, .reserved2 = nullptr, .reserved3 = nullptr, .reserved4 = nullptr,
    .reserved5 = nullptr, .reserved6 = nullptr, .reserved7 = nullptr, .reserved8 = nullptr, .reserved9 = nullptr,
};

std::string drawnFrameError;  // NOLINT: libdecor's error callback carries no pointer of ours

}  // namespace

void WaylandBackend::NoteDrawnFrameError(const char* message) {
  if (drawnFrameError.empty()) drawnFrameError = message != nullptr ? message : "unknown error";
}

void WaylandBackend::CheckDrawnFrame() {
  if (drawnFrameError.empty()) return;
  throw Exception("the title bar on the Wayland display " + Quoted(displayName_) + " failed: " +
                  Quoted(drawnFrameError));
}

bool WaylandBackend::OpenDrawnFrame(View& view, bool fullScreen) {
  if (drawnFrames_ == nullptr) drawnFrames_ = libdecor_new(display_, &kContext);
  if (drawnFrames_ == nullptr) return false;
  if (subcompositor_ != nullptr && viewporter_ != nullptr) {
    view.drawnSurface = wl_compositor_create_surface(compositor_);
    view.drawnViewport = wp_viewporter_get_viewport(viewporter_, view.drawnSurface);
  } else {
    view.drawnSurface = view.surface;
  }
  view.drawnFrame = libdecor_decorate(drawnFrames_, view.drawnSurface, &kFrame, this);
  if (view.drawnFrame == nullptr) {
    DropDrawnFrame(view);
    return false;
  }
  libdecor_frame_set_title(view.drawnFrame, look_.caption.c_str());
  libdecor_frame_set_app_id(view.drawnFrame, look_.appId.c_str());
  libdecor_frame_unset_capabilities(view.drawnFrame, LIBDECOR_ACTION_RESIZE);
  if (!look_.minimizeButton) libdecor_frame_unset_capabilities(view.drawnFrame, LIBDECOR_ACTION_MINIMIZE);
  HoldSize(!fullScreen);
  libdecor_frame_map(view.drawnFrame);
  // libdecor makes the toplevel only once it has read the compositor's
  // globals, and asked for a full screen before that it crashes.
  if (fullScreen) {
    DispatchUntil([&] { return libdecor_frame_get_xdg_toplevel(view.drawnFrame) != nullptr; });
    libdecor_frame_set_fullscreen(view.drawnFrame, nullptr);
  }
  return true;
}

// Made after libdecor's surfaces, the picture's is stacked above them, and
// its first picture comes to it as a subsurface's.  libdecor makes its
// surfaces as it commits the first configure, and keeps them.
void WaylandBackend::Lift(View& view) {
  if (view.drawnSurface == view.surface) return;
  view.lifted = wl_subcompositor_get_subsurface(subcompositor_, view.surface, view.drawnSurface);
  wl_subsurface_set_desync(view.lifted);
}

// At the window's size, so that the compositor places the window whole.
void WaylandBackend::ShowUnderPicture(View& view) {
  if (view.drawnSurface == view.surface) return;
  if (view.blackPixel.handle == nullptr) {
    view.blackPixel = MakeBuffer({1, 1});
    *view.blackPixel.pixels = 0;
    wl_surface_attach(view.drawnSurface, static_cast<wl_buffer*>(view.blackPixel.handle), 0, 0);
    wl_surface_damage_buffer(view.drawnSurface, 0, 0, 1, 1);
  }
  wp_viewport_set_destination(view.drawnViewport, view.logical.width, view.logical.height);
  wl_surface_commit(view.drawnSurface);
}

void WaylandBackend::HoldDrawnFrameSize(drawing::Size size) {
  libdecor_frame* frame = views_.front()->drawnFrame;
  libdecor_frame_set_min_content_size(frame, size.width, size.height);
  libdecor_frame_set_max_content_size(frame, size.width, size.height);
}

void WaylandBackend::SetDrawnFrameFullScreen(bool on) {
  View& view = *views_.front();
  if (on) {
    libdecor_frame_set_fullscreen(view.drawnFrame, view.entered.empty() ? nullptr : view.entered.front()->output);
  } else {
    libdecor_frame_unset_fullscreen(view.drawnFrame);
  }
}

void WaylandBackend::DropDrawnFrame(View& view) {
  if (view.lifted != nullptr) wl_subsurface_destroy(view.lifted);
  if (view.drawnFrame != nullptr) libdecor_frame_unref(view.drawnFrame);
  if (view.drawnViewport != nullptr) wp_viewport_destroy(view.drawnViewport);
  if (view.drawnSurface != nullptr && view.drawnSurface != view.surface) wl_surface_destroy(view.drawnSurface);
  if (view.blackPixel.handle != nullptr) FreeBuffer(view.blackPixel);
  view.lifted = nullptr;
  view.drawnFrame = nullptr;
  view.drawnSurface = nullptr;
  view.drawnViewport = nullptr;
  view.blackPixel = {};
}

void WaylandBackend::DropDrawnFrames() {
  if (drawnFrames_ != nullptr) libdecor_unref(drawnFrames_);
  drawnFrames_ = nullptr;
}

}  // namespace platform::wayland
