// The program's sound: the synthesiser's stream, the device it plays on
// while anyone can hear it, and the lock that lets only one copy of the
// program play (a screensaver starts one per monitor).

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/audio/audio_output.h"
#include "sound/stream.h"

namespace platform {

class SoundPlayer {
 public:
  using Clock = std::chrono::steady_clock;
  // Silent this long while muted, the device is closed, so the program and
  // the sound server both go idle; unmuting opens it again.
  static constexpr std::chrono::seconds kIdleClose{3};

  // `tell` gets each reason there is no sound, in one line.
  SoundPlayer(sound::Settings settings, std::uint64_t seed, std::function<void(const std::string&)> tell);
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;
  // Fades out first, however the program ends.
  ~SoundPlayer();

  // Takes the lock under XDG_RUNTIME_DIR and opens the device.  False when
  // another copy holds the lock or there is no device; the animation runs
  // on either way.
  bool Start();

  // The animation's thread, once a frame: hands the frame's events on and
  // closes or reopens the device as muting asks.  Never waits.
  void Post(const sound::FrameEvents& events, Clock::time_point now = Clock::now());

  void ToggleMute();
  void ChangeVolume(int by);
  int volume() const { return stream_.volume(); }
  bool muted() const { return stream_.muted(); }
  bool open() const { return output_ != nullptr; }

  // Ramps the sound down and closes the device, within 100 ms.
  void FadeOut();

 private:
  bool OpenDevice();

  sound::Stream stream_;
  std::function<void(const std::string&)> tell_;
  std::unique_ptr<AudioOutput> output_;
  int lock_ = -1;
  bool started_ = false;  // the lock was ours and a device opened once
  std::optional<Clock::time_point> silentSince_;
};

}  // namespace platform
