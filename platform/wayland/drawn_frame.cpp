// The window where the compositor draws no title bar (GNOME, weston):
// libdecor makes the toplevel and draws one with close and minimise.

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
          self->Configured(view);
        },
    .close = [](libdecor_frame*, void* data) { Self(data)->Post(Event::kCloseAsked); },
    .commit = [](libdecor_frame*, void* data) { wl_surface_commit(Self(data)->views_.front()->surface); },
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
  view.drawnFrame = libdecor_decorate(drawnFrames_, view.surface, &kFrame, this);
  if (view.drawnFrame == nullptr) return false;
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
  if (view.drawnFrame != nullptr) libdecor_frame_unref(view.drawnFrame);
  view.drawnFrame = nullptr;
}

void WaylandBackend::DropDrawnFrames() {
  if (drawnFrames_ != nullptr) libdecor_unref(drawnFrames_);
  drawnFrames_ = nullptr;
}

}  // namespace platform::wayland
