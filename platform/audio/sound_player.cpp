#include "platform/audio/sound_player.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace platform {

namespace {

// The first copy to lock this file plays; the lock goes with the process,
// however it ends.  Without a runtime folder there is nobody to agree with,
// and the copy plays.
bool TakeLock(int& lock) {
  const char* folder = std::getenv("XDG_RUNTIME_DIR");
  if (folder == nullptr || *folder == '\0') return true;
  const std::string path = std::string(folder) + "/rainstorm-sound.lock";
  lock = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return true;
  if (flock(lock, LOCK_EX | LOCK_NB) == 0) return true;
  const bool held = errno == EWOULDBLOCK;
  close(lock);
  lock = -1;
  return !held;
}

}  // namespace

SoundPlayer::SoundPlayer(sound::Settings settings, std::uint64_t seed, std::function<void(const std::string&)> tell)
    : stream_(seed, settings), tell_(std::move(tell)) {}

SoundPlayer::~SoundPlayer() {
  FadeOut();
  if (lock_ >= 0) close(lock_);
}

bool SoundPlayer::Start() {
  if (!TakeLock(lock_)) {
    tell_("another copy of the program is playing it");
    return false;
  }
  started_ = OpenDevice();
  return started_;
}

bool SoundPlayer::OpenDevice() {
  output_ = AudioOutput::Open([this](std::span<std::int16_t> stereo) { stream_.Fill(stereo); });
  if (output_->playing()) return true;
  tell_(output_->reason());  // before the failed device goes, which can take a while
  output_.reset();
  return false;
}

void SoundPlayer::Post(const sound::FrameEvents& events, Clock::time_point now) {
  if (!started_) return;
  stream_.Post(events);
  if (!stream_.muted()) {
    silentSince_.reset();
    if (!output_ && !OpenDevice()) started_ = false;  // said once; the rain goes on without
    return;
  }
  if (!output_ || !stream_.Silent()) return;
  if (!silentSince_) silentSince_ = now;
  if (now - *silentSince_ >= kIdleClose) output_.reset();
}

void SoundPlayer::ToggleMute() { stream_.SetMuted(!stream_.muted()); }

void SoundPlayer::ChangeVolume(int by) { stream_.SetVolume(stream_.volume() + by); }

void SoundPlayer::FadeOut() {
  if (!output_) return;
  stream_.SetMuted(true);
  // The ramp (20 ms) is made by the next fill, within one buffer (43 ms);
  // the 25 ms after it let the ramp at the buffer's start be played before
  // the device goes.  All within 100 ms.
  const auto deadline = Clock::now() + std::chrono::milliseconds(60);
  while (!stream_.Silent() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  output_.reset();
}

}  // namespace platform
