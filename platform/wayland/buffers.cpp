#include "platform/wayland/buffers.h"

#include <algorithm>
#include <cstring>

using drawing::Box;

namespace platform::wayland {

namespace {

// A long list of small boxes costs more to walk than its bounding box costs
// to copy.
constexpr std::size_t kMostBoxes = 32;

Box Bounds(std::span<const Box> boxes) {
  int left = boxes[0].x, top = boxes[0].y, right = left + boxes[0].width, bottom = top + boxes[0].height;
  for (const Box& b : boxes) {
    left = std::min(left, b.x), top = std::min(top, b.y);
    right = std::max(right, b.x + b.width), bottom = std::max(bottom, b.y + b.height);
  }
  return {left, top, right - left, bottom - top};
}

void Add(std::vector<Box>& list, std::span<const Box> boxes, drawing::Size size) {
  for (const Box& b : boxes)
    if (const Box inside = drawing::Intersection(b, {0, 0, size.width, size.height}); inside.width > 0)
      list.push_back(inside);
  if (list.size() > kMostBoxes) list = {Bounds(list)};
}

void Copy(const Buffer& from, Buffer& to, const Box& box) {
  for (int y = box.y; y < box.y + box.height; ++y)
    std::memcpy(to.pixels + static_cast<std::ptrdiff_t>(y) * to.size.width + box.x,
                from.pixels + static_cast<std::ptrdiff_t>(y) * from.size.width + box.x,
                static_cast<std::size_t>(box.width) * sizeof(drawing::Pixel));
}

// `box` without what `cut` covers: at most four bands around it.
std::vector<Box> Subtract(const Box& box, const Box& cut) {
  const Box common = drawing::Intersection(box, cut);
  if (common.width <= 0) return {box};
  std::vector<Box> rest;
  const int right = box.x + box.width, bottom = box.y + box.height;
  if (common.y > box.y) rest.push_back({box.x, box.y, box.width, common.y - box.y});
  if (common.y + common.height < bottom)
    rest.push_back({box.x, common.y + common.height, box.width, bottom - common.y - common.height});
  if (common.x > box.x) rest.push_back({box.x, common.y, common.x - box.x, common.height});
  if (common.x + common.width < right)
    rest.push_back({common.x + common.width, common.y, right - common.x - common.width, common.height});
  return rest;
}

}  // namespace

BufferRing::~BufferRing() {
  for (auto& slot : slots_) free_(slot->buffer);
}

void BufferRing::Resize(drawing::Size size, drawing::Pixel fill) {
  size_ = size;
  fill_ = fill;
  draft_ = latest_ = nullptr;
  // The first picture of a new size is new everywhere.
  damage_.assign(1, Box{0, 0, size.width, size.height});
  for (std::size_t i = slots_.size(); i-- > 0;) {
    if (slots_[i]->busy) {
      slots_[i]->retired = true;
    } else {
      Drop(i);
    }
  }
}

bool BufferRing::CanDraft() const {
  if (draft_ != nullptr) return true;
  int live = 0;
  for (const auto& slot : slots_) {
    if (slot->retired) continue;
    if (!slot->busy) return true;
    ++live;
  }
  return live < kMost;
}

Buffer* BufferRing::Draft(std::span<const Box> repainting) {
  if (draft_ != nullptr) return &draft_->buffer;
  if (size_.width <= 0 || size_.height <= 0) return nullptr;
  Slot* free = nullptr;
  int live = 0;
  for (auto& slot : slots_) {
    if (slot->retired) continue;
    ++live;
    if (!slot->busy && free == nullptr) free = slot.get();
  }
  if (free == nullptr) {
    if (live >= kMost) return nullptr;
    auto slot = std::make_unique<Slot>();
    slot->buffer = make_(size_);
    slot->missingAll = true;
    free = slot.get();
    slots_.push_back(std::move(slot));
  }
  CatchUp(*free, repainting);
  draft_ = free;
  if (latest_ == nullptr) latest_ = free;
  return &free->buffer;
}

// What the slot missed comes from the last presented buffer, but for what
// the caller repaints anyway; with none, it starts as the background.
void BufferRing::CatchUp(Slot& slot, std::span<const Box> repainting) {
  Buffer& to = slot.buffer;
  if (latest_ == nullptr || latest_ == &slot) {
    if (slot.missingAll) std::fill_n(to.pixels, static_cast<std::size_t>(to.size.width) * to.size.height, fill_);
  } else {
    std::vector<Box> copy = slot.missingAll ? std::vector<Box>{{0, 0, size_.width, size_.height}} : slot.missing;
    for (const Box& cut : repainting) {
      std::vector<Box> left;
      for (const Box& box : copy)
        for (const Box& part : Subtract(box, cut)) left.push_back(part);
      copy.swap(left);
    }
    for (const Box& box : copy) Copy(latest_->buffer, to, box);
  }
  slot.missing.clear();
  slot.missingAll = false;
}

void BufferRing::Changed(std::span<const Box> boxes) {
  if (draft_ == nullptr) return;
  Add(damage_, boxes, size_);
  for (auto& slot : slots_)
    if (slot.get() != draft_ && !slot->retired && !slot->missingAll) Add(slot->missing, boxes, size_);
}

Buffer* BufferRing::Attach(std::vector<Box>& damage) {
  if (draft_ == nullptr) return nullptr;
  Slot* slot = draft_;
  draft_ = nullptr;
  slot->busy = true;
  latest_ = slot;
  damage.swap(damage_);
  damage_.clear();
  return &slot->buffer;
}

void BufferRing::Release(const void* handle) {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i]->buffer.handle != handle) continue;
    slots_[i]->busy = false;
    if (slots_[i]->retired) Drop(i);
    return;
  }
}

void BufferRing::Drop(std::size_t index) {
  if (slots_[index].get() == latest_) latest_ = nullptr;
  free_(slots_[index]->buffer);
  slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(index));
}

}  // namespace platform::wayland
