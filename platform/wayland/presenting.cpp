// Shared-memory buffers and the pace the compositor sets: a picture goes to
// a surface only once the compositor asked for the next frame, and a
// surface that stops asking is one nobody sees.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "drawing/exception.h"
#include "platform/wayland/display.h"

using drawing::Box;

namespace platform::wayland {

namespace {

// A hidden surface gets no frame callbacks at all, a seen one some 60 a
// second; half a second without one is no slow frame.
constexpr auto kUnseenAfter = std::chrono::milliseconds(500);

const wl_buffer_listener kBuffer = {
    .release = [](void* data, wl_buffer* buffer) { static_cast<WaylandBackend*>(data)->Released(buffer); },
};

const wl_callback_listener kFrame = {
    .done =
        [](void* data, wl_callback* callback, std::uint32_t) {
          auto* self = static_cast<WaylandBackend*>(data);
          for (auto& view : self->views_)
            if (view->frame == callback) return self->FrameDone(*view);
        },
};

}  // namespace

Buffer WaylandBackend::MakeBuffer(drawing::Size size) {
  const std::size_t stride = static_cast<std::size_t>(size.width) * sizeof(drawing::Pixel);
  const std::size_t bytes = stride * static_cast<std::size_t>(size.height);
  const std::string what = "a " + std::to_string(size.width) + " x " + std::to_string(size.height) + " buffer";
  const int fd = memfd_create("rain-buffer", MFD_CLOEXEC);
  if (fd < 0) throw Exception("Cannot make " + what + ": " + std::strerror(errno));
  if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
    const int error = errno;
    close(fd);
    throw Exception("Cannot make " + what + ": " + std::strerror(error));
  }
  void* pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) {
    const int error = errno;
    close(fd);
    throw Exception("Cannot make " + what + ": " + std::strerror(error));
  }
  wl_shm_pool* pool = wl_shm_create_pool(shm_, fd, static_cast<std::int32_t>(bytes));
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, size.width, size.height, static_cast<std::int32_t>(stride),
                                                WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  wl_buffer_add_listener(buffer, &kBuffer, this);
  return {buffer, static_cast<drawing::Pixel*>(pixels), size};
}

void WaylandBackend::FreeBuffer(Buffer& buffer) {
  wl_buffer_destroy(static_cast<wl_buffer*>(buffer.handle));
  munmap(buffer.pixels, static_cast<std::size_t>(buffer.size.width) * buffer.size.height * sizeof(drawing::Pixel));
}

void WaylandBackend::Released(wl_buffer* buffer) {
  for (auto& view : views_) {
    view->ring->Release(buffer);
    // A view that was held back only by a busy buffer can show now.
    if (view->frame == nullptr && !view->pending.empty()) Show(*view);
  }
}

drawing::Surface WaylandBackend::Pixels() {
  const std::vector<Box> repainting = std::move(repainting_);
  repainting_.clear();
  if (views_.empty()) return {};
  if (views_.size() > 1) return {combined_.data(), combinedSize_.width, combinedSize_.height, combinedSize_.width};
  BufferRing& ring = *views_.front()->ring;
  if (ring.size().width <= 0) return {};
  // Only a compositor holding every buffer makes this wait.
  DispatchUntil([&] { return ring.CanDraft(); });
  const Buffer* buffer = ring.Draft(repainting);
  return {buffer->pixels, buffer->size.width, buffer->size.height, buffer->size.width};
}

void WaylandBackend::Present(std::span<const Box> changed) {
  if (views_.size() == 1) {
    views_.front()->ring->Changed(changed);
  } else {
    for (auto& view : views_) {
      for (const Box& box : changed) {
        const Box inside = drawing::Intersection(box, view->area);
        if (inside.width > 0) view->pending.push_back({inside.x - view->area.x, inside.y, inside.width, inside.height});
      }
    }
  }
  for (auto& view : views_)
    if (view->frame == nullptr) Show(*view);
}

// Until the compositor asks a view for its next frame, a picture shown in
// it would only be painted over by the next one before it is seen.
bool WaylandBackend::ReadyToPresent() {
  return std::ranges::any_of(views_, [](const auto& view) { return view->configured && view->frame == nullptr; });
}

void WaylandBackend::ShowFirst(View& view) {
  if (view.ring->Latest() != nullptr || view.ring->size().width <= 0 || !view.ring->CanDraft()) return;
  view.ring->Draft();
  Show(view);
}

void WaylandBackend::Show(View& view) {
  if (!view.configured || view.frame != nullptr) return;
  BufferRing& ring = *view.ring;
  if (views_.size() > 1 && !view.pending.empty()) {
    // From the combined picture into this view's own buffer.
    Buffer* buffer = ring.CanDraft() ? ring.Draft() : nullptr;
    if (buffer == nullptr) return;  // once a buffer is released
    for (const Box& box : view.pending)
      for (int y = box.y; y < box.y + box.height; ++y)
        std::memcpy(buffer->pixels + static_cast<std::ptrdiff_t>(y) * buffer->size.width + box.x,
                    &combined_[static_cast<std::size_t>(y) * combinedSize_.width + view.area.x + box.x],
                    static_cast<std::size_t>(box.width) * sizeof(drawing::Pixel));
    ring.Changed(view.pending);
    view.pending.clear();
  }
  if (!ring.HasChanges()) return;
  std::vector<Box> damage;
  const Buffer* buffer = ring.Attach(damage);
  wl_surface_attach(view.surface, static_cast<wl_buffer*>(buffer->handle), 0, 0);
  wl_surface_set_buffer_scale(view.surface, view.bufferScale);
  for (const Box& box : damage) wl_surface_damage_buffer(view.surface, box.x, box.y, box.width, box.height);
  view.frame = wl_surface_frame(view.surface);
  wl_callback_add_listener(view.frame, &kFrame, this);
  view.frameAsked = std::chrono::steady_clock::now();
  wl_surface_commit(view.surface);
}

void WaylandBackend::FrameDone(View& view) {
  wl_callback_destroy(view.frame);
  view.frame = nullptr;
  view.stalled = false;
  if (unseen_) {
    unseen_ = false;
    Post(Event::kSeen);
  }
  Show(view);
}

void WaylandBackend::CheckStalls() {
  if (views_.empty() || unseen_) return;
  const auto now = std::chrono::steady_clock::now();
  bool all = true;
  for (auto& view : views_) {
    if (view->frame != nullptr && now - view->frameAsked >= kUnseenAfter) view->stalled = true;
    all = all && view->stalled;
  }
  if (!all) return;
  unseen_ = true;
  Post(Event::kUnseen);
}

}  // namespace platform::wayland
