// The synthesiser between two threads: the animation posts each frame's
// events and the controls, the audio device's thread fills its buffers.
// Neither ever waits on the other.

#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "sound/events.h"
#include "sound/queue.h"
#include "sound/synthesiser.h"

namespace sound {

class Stream {
 public:
  Stream(std::uint64_t seed, Settings settings);

  // The animation's thread.  Events that find the queue full are kept and
  // go with the next ones, so no strike is lost.  Strikes while muted are
  // dropped: no thunder on unmuting from a flash seen before.
  void Post(const FrameEvents& events);
  void SetVolume(int volume);
  void SetMuted(bool muted);
  int volume() const { return volume_.load(std::memory_order_relaxed); }
  bool muted() const { return muted_.load(std::memory_order_relaxed); }
  // Muted, and the device's thread has played the ramp down to silence.
  bool Silent() const { return silent_.load(std::memory_order_acquire); }

  // The audio device's thread.
  void Fill(std::span<std::int16_t> stereo);

 private:
  Synthesiser synthesiser_;  // the audio thread's alone
  SpscQueue<FrameEvents, 64> queue_;
  FrameEvents unsent_;  // the animation thread's alone
  std::atomic<int> volume_;
  std::atomic<bool> muted_{false};
  std::atomic<bool> silent_{false};
};

}  // namespace sound
