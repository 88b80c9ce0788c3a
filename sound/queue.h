// A bounded lock-free queue for one producer thread and one consumer thread:
// the animation hands the audio thread what happened without ever waiting
// on it, and the audio thread never waits on the animation.

#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace sound {

template <class T, std::size_t Capacity>
class SpscQueue {
  static_assert(Capacity >= 2 && (Capacity & (Capacity - 1)) == 0, "a power of two, so indices wrap by masking");

 public:
  // Producer only.  False when full: the value is not taken.
  bool Push(const T& value) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == Capacity) return false;
    slots_[tail & (Capacity - 1)] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer only.  False when empty.
  bool Pop(T& value) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    value = slots_[head & (Capacity - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

 private:
  std::array<T, Capacity> slots_{};
  // Apart, so the two threads do not share a cache line for their writes.
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace sound
