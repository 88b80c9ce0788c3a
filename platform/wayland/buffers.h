// The buffers one surface is shown from.  A compositor reads a buffer until
// it releases it, and may release it after it asked for the next frame, so a
// surface needs at least two and sometimes more.  Each buffer is kept
// holding the last presented picture: before it is drawn in again, the
// boxes it missed are copied from the one presented last, so the host only
// ever paints what changed.  Knows nothing of Wayland itself: buffers come
// from the functions it is given (wl_shm in the backend, plain memory in the
// tests).

#pragma once

#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/geometry.h"

namespace platform::wayland {

struct Buffer {
  void* handle = nullptr;  // the wl_buffer
  drawing::Pixel* pixels = nullptr;
  drawing::Size size;
};

class BufferRing {
 public:
  using Make = std::function<Buffer(drawing::Size)>;
  using Free = std::function<void(Buffer&)>;
  // Never more buffers than this: a compositor that holds them all is
  // waited for.
  static constexpr int kMost = 4;

  BufferRing(Make make, Free free) : make_(std::move(make)), free_(std::move(free)) {}
  ~BufferRing();
  BufferRing(const BufferRing&) = delete;
  BufferRing& operator=(const BufferRing&) = delete;

  // A new size: buffers of the old one go, those the compositor still reads
  // once it lets go of them.  The next draft starts filled with `fill`.
  void Resize(drawing::Size size, drawing::Pixel fill);
  drawing::Size size() const { return size_; }

  // Whether Draft() can be had without waiting for a release.
  bool CanDraft() const;
  // The buffer to paint in: the one painted since the last Attach, else a
  // free one brought up to date with the last presented picture but for
  // the boxes `repainting`, which the caller paints whole.  Null when every
  // buffer is busy (see CanDraft).
  Buffer* Draft(std::span<const drawing::Box> repainting = {});
  // The draft's boxes that changed; they are damage when it is attached.
  void Changed(std::span<const drawing::Box> boxes);
  // Whether the draft has changes to show.  A draft handed out and never
  // painted is not one: what its caller repaints was not caught up.
  bool HasChanges() const { return draft_ != nullptr && !damage_.empty(); }
  // The draft goes to the compositor, busy until Release; returns it and
  // the damage to report, and it becomes the last presented.
  Buffer* Attach(std::vector<drawing::Box>& damage);
  // The compositor let go of `handle`.
  void Release(const void* handle);
  // The last presented picture (or the draft before any), or null.
  const Buffer* Latest() const { return latest_ != nullptr ? &latest_->buffer : nullptr; }
  int count() const { return static_cast<int>(slots_.size()); }

 private:
  struct Slot {
    Buffer buffer;
    bool busy = false;
    bool retired = false;                // of an older size: freed once released
    std::vector<drawing::Box> missing;   // changed in other buffers since it was last drawn
    bool missingAll = false;
  };
  void CatchUp(Slot& slot, std::span<const drawing::Box> repainting);
  void Drop(std::size_t index);

  Make make_;
  Free free_;
  drawing::Size size_;
  drawing::Pixel fill_ = 0;
  std::vector<std::unique_ptr<Slot>> slots_;
  Slot* draft_ = nullptr;
  Slot* latest_ = nullptr;
  std::vector<drawing::Box> damage_;
};

}  // namespace platform::wayland
