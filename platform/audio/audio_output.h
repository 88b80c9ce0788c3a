// The sound card, through SDL's audio subsystem alone: the default device at
// 48 kHz, 16-bit stereo, filled from SDL's own audio thread.  Small and apart
// from the window code, so any host can hold one.

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace platform {

class AudioOutput {
 public:
  // Called on the audio thread for every buffer; must not wait.
  using Fill = std::function<void(std::span<std::int16_t> stereo)>;

  // The device, playing, or else one that says why it is not in one line.
  // The stream is named "Rain" in the desktop's mixer, and the libraries'
  // own messages are kept off stderr.  A failed one is best dropped only
  // after its reason is shown: closing SDL's audio can take 100 ms.
  static std::unique_ptr<AudioOutput> Open(Fill fill);

  bool playing() const { return device_ != 0; }
  const std::string& reason() const { return reason_; }

  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;
  // Closes the device: the sound server may go idle.
  ~AudioOutput();

 private:
  AudioOutput(Fill fill) : fill_(std::move(fill)) {}
  Fill fill_;
  std::uint32_t device_ = 0;
  bool initialised_ = false;
  std::string reason_;
};

}  // namespace platform
