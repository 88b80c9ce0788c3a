// The audio device through SDL's disk driver, which writes what it is given
// to a file, and without any device: one line saying why, and nothing of
// the libraries' own on stderr.

#include "platform/audio/audio_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/scratch_folder.h"

namespace {

// What the code under test prints on stderr while `run` runs.
template <class Run>
std::string StderrOf(const support::ScratchFolder& dir, Run run) {
  const std::string path = (dir / "stderr").string();
  const int saved = dup(2);
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(file, 2);
  close(file);
  run();
  dup2(saved, 2);
  close(saved);
  return support::ReadFile(path);
}

TEST(AudioOutput, PlaysWhatItIsFilledWithThroughTheDiskDriver) {
  const support::ScratchFolder dir;
  const std::string file = (dir / "played").string();
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  std::atomic<int> buffers = 0;
  {
    auto output = platform::AudioOutput::Open(
        [&](std::span<std::int16_t> stereo) {
          for (std::size_t i = 0; i < stereo.size(); ++i) stereo[i] = static_cast<std::int16_t>(i % 2 == 0 ? 1000 : -1000);
          ++buffers;
        });
    ASSERT_TRUE(output->playing()) << output->reason();
    for (int i = 0; i < 200 && buffers < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string played = support::ReadFile(file);
  ASSERT_GE(played.size(), 3u * 4096) << "buffers filled: " << buffers;
  // 48 kHz, 16-bit stereo as asked: the samples come through unconverted
  // (after any silence SDL plays while the device starts paused).
  EXPECT_NE(played.find(std::string("\xe8\x03\x18\xfc\xe8\x03\x18\xfc", 8)), std::string::npos);
  unsetenv("SDL_DISKAUDIOFILE");
}

TEST(AudioOutput, WithoutADeviceSaysWhyInOneLineAndNoLibraryPrintsAnything) {
  const support::ScratchFolder dir;
  // No card for ALSA; a sound server's socket that nobody listens on.
  const std::pair<const char*, const char*> drivers[] = {
      {"alsa", nullptr}, {"pulseaudio", "unix:/nonexistent"}, {"pipewire", nullptr}, {"nosuch", nullptr}};
  for (const auto& [driver, server] : drivers) {
    setenv("SDL_AUDIODRIVER", driver, 1);
    if (server != nullptr) setenv("PULSE_SERVER", server, 1);
    std::string reason;
    const std::string printed = StderrOf(dir, [&] {
      const auto output = platform::AudioOutput::Open([](std::span<std::int16_t>) {});
      EXPECT_FALSE(output->playing()) << driver;
      reason = output->reason();
    });
    EXPECT_FALSE(reason.empty()) << driver;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    EXPECT_EQ(printed, "") << driver;
    unsetenv("PULSE_SERVER");
  }
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
