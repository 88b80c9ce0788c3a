// The connection: what the compositor offers, waiting on it, and the errors
// that end it.

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "drawing/exception.h"
#include "platform/wayland/connect.h"
#include "platform/wayland/display.h"

namespace platform::wayland {

namespace {

std::string DisplayName() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  return name != nullptr && *name != '\0' ? name : "wayland-0";
}

const wl_registry_listener kRegistry = {
    .global = [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                 std::uint32_t version) { static_cast<WaylandBackend*>(data)->Bind(registry, name, interface, version); },
    .global_remove = [](void* data, wl_registry*, std::uint32_t name) { static_cast<WaylandBackend*>(data)->Unbind(name); },
};

const xdg_wm_base_listener kWmBase = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

template <class T>
T* BindAs(wl_registry* registry, std::uint32_t name, const wl_interface& interface, std::uint32_t offered,
          std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, &interface, std::min(offered, wanted)));
}

}  // namespace

std::unique_ptr<Backend> ConnectWayland() {
  const std::string name = DisplayName();
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) throw Exception("Cannot open a window: cannot connect to the Wayland display " + Quoted(name));
  auto backend = std::make_unique<WaylandBackend>(display, name);
  backend->Start();
  return backend;
}

WaylandBackend::WaylandBackend(wl_display* display, std::string name)
    : display_(display), displayName_(std::move(name)) {}

void WaylandBackend::Start() {
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistry, this);
  // The globals, then what the outputs and the seat say about themselves.
  for (int round = 0; round < 2; ++round)
    if (wl_display_roundtrip(display_) < 0) CheckConnection();
  if (wmBase_ == nullptr)
    throw Exception("Cannot open a window: the Wayland display " + Quoted(displayName_) +
                    " offers no windows of our kind (xdg-shell)");
  if (compositor_ == nullptr || shm_ == nullptr)
    throw Exception("Cannot open a window: the Wayland display " + Quoted(displayName_) +
                    " offers no shared-memory surfaces");
}

WaylandBackend::~WaylandBackend() {
  if (display_ == nullptr) return;
  while (!views_.empty()) DropView(*views_.back());
  DropDrawnFrames();
  if (keyboard_ != nullptr) wl_keyboard_destroy(keyboard_);
  if (pointer_ != nullptr) wl_pointer_destroy(pointer_);
  if (keyState_ != nullptr) xkb_state_unref(keyState_);
  if (keymap_ != nullptr) xkb_keymap_unref(keymap_);
  if (xkb_ != nullptr) xkb_context_unref(xkb_);
  if (seat_ != nullptr) wl_seat_destroy(seat_);
  for (auto& output : outputs_) wl_output_destroy(output->output);
  outputs_.clear();
  if (fractionalScale_ != nullptr) wp_fractional_scale_manager_v1_destroy(fractionalScale_);
  if (viewporter_ != nullptr) wp_viewporter_destroy(viewporter_);
  if (layerShell_ != nullptr) zwlr_layer_shell_v1_destroy(layerShell_);
  if (decorations_ != nullptr) zxdg_decoration_manager_v1_destroy(decorations_);
  if (wmBase_ != nullptr) xdg_wm_base_destroy(wmBase_);
  if (shm_ != nullptr) wl_shm_destroy(shm_);
  if (subcompositor_ != nullptr) wl_subcompositor_destroy(subcompositor_);
  if (compositor_ != nullptr) wl_compositor_destroy(compositor_);
  if (registry_ != nullptr) wl_registry_destroy(registry_);
  wl_display_flush(display_);
  wl_display_disconnect(display_);
  display_ = nullptr;
}

void WaylandBackend::Bind(wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  const std::string_view which = interface;
  if (which == wl_compositor_interface.name) {
    compositor_ = BindAs<wl_compositor>(registry, name, wl_compositor_interface, version, 4);
  } else if (which == wl_subcompositor_interface.name) {
    subcompositor_ = BindAs<wl_subcompositor>(registry, name, wl_subcompositor_interface, version, 1);
  } else if (which == wl_shm_interface.name) {
    shm_ = BindAs<wl_shm>(registry, name, wl_shm_interface, version, 1);
  } else if (which == xdg_wm_base_interface.name) {
    wmBase_ = BindAs<xdg_wm_base>(registry, name, xdg_wm_base_interface, version, 2);
    xdg_wm_base_add_listener(wmBase_, &kWmBase, this);
  } else if (which == zxdg_decoration_manager_v1_interface.name) {
    decorations_ = BindAs<zxdg_decoration_manager_v1>(registry, name, zxdg_decoration_manager_v1_interface, version, 1);
  } else if (which == zwlr_layer_shell_v1_interface.name) {
    layerShell_ = BindAs<zwlr_layer_shell_v1>(registry, name, zwlr_layer_shell_v1_interface, version, 2);
  } else if (which == wp_viewporter_interface.name) {
    viewporter_ = BindAs<wp_viewporter>(registry, name, wp_viewporter_interface, version, 1);
  } else if (which == wp_fractional_scale_manager_v1_interface.name) {
    fractionalScale_ =
        BindAs<wp_fractional_scale_manager_v1>(registry, name, wp_fractional_scale_manager_v1_interface, version, 1);
  } else if (which == wl_seat_interface.name && seat_ == nullptr) {
    // One seat is the user's; a second would be a second user.
    seat_ = BindAs<wl_seat>(registry, name, wl_seat_interface, version, 5);
    seatName_ = name;
    static const wl_seat_listener listener = {
        .capabilities = [](void* data, wl_seat*, std::uint32_t capabilities) {
          static_cast<WaylandBackend*>(data)->SeatCapabilities(capabilities);
        },
        .name = [](void*, wl_seat*, const char*) {},
    };
    wl_seat_add_listener(seat_, &listener, this);
  } else if (which == wl_output_interface.name) {
    AddOutput(BindAs<wl_output>(registry, name, wl_output_interface, version, 2), name);
  }
}

void WaylandBackend::Unbind(std::uint32_t name) {
  if (name == seatName_ && seat_ != nullptr) {
    SeatCapabilities(0);
    wl_seat_destroy(seat_);
    seat_ = nullptr;
    return;
  }
  RemoveOutput(name);
}

void WaylandBackend::CheckConnection() {
  const int error = wl_display_get_error(display_);
  if (error == 0) return CheckDrawnFrame();
  if (error == EPROTO) {
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
    throw Exception("the Wayland display " + Quoted(displayName_) + " refused a request on " +
                    (interface != nullptr ? interface->name : "an object") + " " + std::to_string(id) +
                    " (error " + std::to_string(code) + ")");
  }
  throw Exception("lost the connection to the Wayland display " + Quoted(displayName_));
}

Desktop WaylandBackend::DescribeDesktop() {
  // The compositor keeps its panels to itself: the first output, in the
  // compositor's coordinates, is as much as a window could fill.
  Desktop desktop;
  for (const auto& output : outputs_) {
    if (!output->done || output->mode.width <= 0) continue;
    desktop.usable = {output->mode.width / output->scale, output->mode.height / output->scale};
    break;
  }
  return desktop;
}

void WaylandBackend::Wait(int wakeFd, int timeoutMs) {
  // The protocol's own way to wait beside other descriptors: claim the
  // right to read, flush what we asked, poll, and read or give the claim up.
  while (wl_display_prepare_read(display_) != 0)
    if (wl_display_dispatch_pending(display_) < 0) return;
  // What that read already made news of is for the host now.
  if (!queue_.empty()) {
    wl_display_cancel_read(display_);
    return;
  }
  pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {wakeFd, POLLIN, 0}};
  if (wl_display_flush(display_) < 0 && errno == EAGAIN) fds[0].events |= POLLOUT;
  const int ready = poll(fds, wakeFd >= 0 ? 2 : 1, timeoutMs);
  if (ready > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    wl_display_read_events(display_);  // a broken connection shows in Dispatch
  } else {
    wl_display_cancel_read(display_);
  }
  if (ready > 0 && (fds[0].revents & POLLOUT) != 0) wl_display_flush(display_);
}

void WaylandBackend::Dispatch(std::vector<Event>& events) {
  if (wl_display_dispatch_pending(display_) < 0) CheckConnection();
  CheckConnection();
  CheckStalls();
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) CheckConnection();
  events.insert(events.end(), std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
  queue_.clear();
}

void WaylandBackend::Close() {
  while (!views_.empty()) DropView(*views_.back());
  combined_.clear();
  wl_display_flush(display_);
}

}  // namespace platform::wayland
