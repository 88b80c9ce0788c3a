// The program's sound player on SDL's disk driver: one copy plays, muted it
// lets the device go after a while and takes it again on unmuting, and it
// fades out to silence before it closes.

#include "platform/audio/sound_player.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace {

using namespace std::chrono_literals;
using platform::SoundPlayer;

// Steady rain in the window's scene.
constexpr sound::FrameEvents kRain{1, 5, 2, 5, 2, 0};

class SoundPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (dir_ / "played").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    for (const char* name : {"SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE", "XDG_RUNTIME_DIR"}) unsetenv(name);
  }
  SoundPlayer Player() {
    return SoundPlayer({}, 1, [this](const std::string& reason) { told_.push_back(reason); });
  }
  // Posts rain as the animation does for `seconds` of real time, all of it
  // at the one moment `at`.
  void PlayFor(SoundPlayer& player, std::chrono::milliseconds time, SoundPlayer::Clock::time_point at) {
    for (auto end = SoundPlayer::Clock::now() + time; SoundPlayer::Clock::now() < end;) {
      player.Post(kRain, at);
      std::this_thread::sleep_for(15ms);
    }
  }

  support::ScratchFolder dir_;
  std::vector<std::string> told_;
};

TEST_F(SoundPlayerTest, OnlyTheFirstCopyToTakeTheLockPlaysUntilItEnds) {
  {
    SoundPlayer first = Player();
    ASSERT_TRUE(first.Start()) << (told_.empty() ? "" : told_[0]);
    SoundPlayer second = Player();
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(told_, std::vector<std::string>{"another copy of the program is playing it"});
  }
  SoundPlayer third = Player();
  EXPECT_TRUE(third.Start());
}

TEST_F(SoundPlayerTest, MutedItClosesTheDeviceAfterAFewSilentSecondsAndUnmutedOpensItAgain) {
  SoundPlayer player = Player();
  ASSERT_TRUE(player.Start());
  const auto start = SoundPlayer::Clock::now();
  PlayFor(player, 100ms, start);
  player.ToggleMute();
  PlayFor(player, 200ms, start);  // the ramp is played: silent since `start`
  player.Post(kRain, start + SoundPlayer::kIdleClose - 10ms);
  EXPECT_TRUE(player.open()) << "closed too soon";
  player.Post(kRain, start + SoundPlayer::kIdleClose);
  EXPECT_FALSE(player.open());
  player.ToggleMute();
  player.Post(kRain, start + SoundPlayer::kIdleClose + 10ms);
  EXPECT_TRUE(player.open());
  EXPECT_TRUE(told_.empty());
}

TEST_F(SoundPlayerTest, FadesOutToSilenceBeforeItCloses) {
  SoundPlayer player = Player();
  ASSERT_TRUE(player.Start());
  PlayFor(player, 1500ms, SoundPlayer::Clock::now());
  player.FadeOut();
  EXPECT_FALSE(player.open());
  const std::string played = support::ReadFile(dir_ / "played");
  ASSERT_GT(played.size(), 8192u);
  EXPECT_NE(played.find_first_not_of('\0'), std::string::npos) << "nothing was heard";
  EXPECT_EQ(played.find_first_not_of('\0', played.size() - 4096), std::string::npos) << "it ended on sound";
}

}  // namespace
