#include "sound/stream.h"

#include <algorithm>

namespace sound {

Stream::Stream(std::uint64_t seed, Settings settings)
    : synthesiser_(seed, settings), volume_(synthesiser_.volume()) {}

void Stream::Post(const FrameEvents& events) {
  unsent_ += events;
  // Nobody hears the flashes' thunder while muted; the rain goes on being
  // heard, so the synthesiser never takes the animation for stopped.
  if (muted()) unsent_.strikes = 0;
  if (queue_.Push(unsent_)) unsent_ = {};
}

void Stream::SetVolume(int volume) { volume_.store(std::clamp(volume, kMinVolume, kMaxVolume), std::memory_order_relaxed); }

void Stream::SetMuted(bool muted) {
  if (!muted) silent_.store(false, std::memory_order_release);
  muted_.store(muted, std::memory_order_relaxed);
}

void Stream::Fill(std::span<std::int16_t> stereo) {
  // Everything that arrived, heard at once: landings are weighed against
  // the frames they cover, so two frames sound as loud as one.
  FrameEvents heard;
  for (FrameEvents events; queue_.Pop(events);) heard += events;
  synthesiser_.SetVolume(volume());
  synthesiser_.SetMuted(muted());
  synthesiser_.Hear(heard);
  synthesiser_.Render(stereo);
  if (synthesiser_.Silent()) silent_.store(true, std::memory_order_release);
}

}  // namespace sound
