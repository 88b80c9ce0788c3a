// The real program's sound under Xvfb, through SDL's disk driver, which
// writes what would be played to a file: it sounds, and fades out to silence
// before SIGTERM ends it; without a device it says so in one line and rains
// on; a settings preview and a second copy stay silent.

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sstream>

#include "tests/support/x_session.h"

namespace {

using namespace std::chrono_literals;

class ProgramSound : public ::testing::Test {
 protected:
  // The program with its sound written to `played` in the session's folder,
  // its lock there too.
  support::ChildProcess Start(const std::string& name, const std::vector<std::string>& args,
                              const std::string& driver = "disk") {
    return support::Launch(RAIN_PROGRAM, x_.Scratch() / name, x_.DisplayName(), args,
                           {"SDL_AUDIODRIVER=" + driver, "SDL_DISKAUDIOFILE=" + Played(name).string(),
                            "XDG_RUNTIME_DIR=" + x_.Scratch().string()});
  }
  std::filesystem::path Played(const std::string& name) { return x_.Scratch() / (name + ".raw"); }
  static std::size_t Bytes(const std::filesystem::path& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    return error ? 0 : static_cast<std::size_t>(size);
  }
  // Its stderr, without the disk driver's own notice that it is one.
  std::vector<std::string> Said(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream text(support::ReadFile(x_.Scratch() / name / "stderr.txt"));
    for (std::string line; std::getline(text, line);)
      if (!line.starts_with("CRITICAL: ")) lines.push_back(line);
    return lines;
  }
  bool Shown() {
    return support::WaitUntil([&] { return !x_.TitledWindows().empty(); }, 20s);
  }

  support::XSession x_;
};

TEST_F(ProgramSound, SoundsAndFadesOutToSilenceBeforeSigtermEndsItWithStatusZero) {
  support::ChildProcess rain = Start("rain", {"--sound"});
  ASSERT_TRUE(Shown());
  // Two seconds of sound: past the swell.
  const auto played = Played("rain");
  ASSERT_TRUE(support::WaitUntil([&] { return Bytes(played) > 2u * 48000 * 4; }, 20s));
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(20s), 0);
  const std::string sound = support::ReadFile(played);
  ASSERT_GT(sound.size(), 8192u);
  EXPECT_NE(sound.find_first_not_of('\0'), std::string::npos) << "silence";
  EXPECT_EQ(sound.find_first_not_of('\0', sound.size() - 4096), std::string::npos) << "cut off, not faded out";
  EXPECT_EQ(Said("rain"), std::vector<std::string>{});
}

// The sound written since `from` bytes, once `wait` has passed.
std::string PlayedSince(const std::filesystem::path& played, std::size_t from, std::chrono::milliseconds wait) {
  std::this_thread::sleep_for(wait);
  return support::ReadFile(played).substr(from);
}

double Rms(const std::string& bytes) {
  double sum = 0;
  const std::size_t count = bytes.size() / 2;
  for (std::size_t i = 0; i < count; ++i) {
    const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                                  static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    sum += static_cast<double>(sample) * sample;
  }
  return count == 0 ? 0 : std::sqrt(sum / static_cast<double>(count));
}

// M mutes to exact silence and sounds again; - four times (50 to 10) is a
// fifth of the amplitude.
TEST_F(ProgramSound, MMutesAndSoundsAgainAndMinusMakesItSofter) {
  support::ChildProcess rain = Start("rain", {"--sound", "--no-thunder"});
  ASSERT_TRUE(Shown());
  const auto played = Played("rain");
  const auto size = [&] { return Bytes(played); };
  ASSERT_TRUE(support::WaitUntil([&] { return size() > 2u * 48000 * 4; }, 20s));
  const Window window = x_.TitledWindows().at(0).first;
  const support::Rect client = x_.ClientRectOnScreen(window);
  // Each press released before the next, or the next is taken for a repeat.
  const auto press = [&](KeySym key) {
    x_.PointAndPress(client[0] + 20, client[1] + 20, 0, {key});
    std::this_thread::sleep_for(150ms);
  };

  const std::string before = PlayedSince(played, size(), 1s);
  press(XK_m);
  std::this_thread::sleep_for(300ms);  // the ramp and the buffers on their way
  const std::string muted = PlayedSince(played, size(), 700ms);
  press(XK_m);
  std::this_thread::sleep_for(300ms);
  const std::string again = PlayedSince(played, size(), 1s);
  for (int i = 0; i < 4; ++i) press(XK_minus);
  std::this_thread::sleep_for(300ms);
  const std::string softer = PlayedSince(played, size(), 1s);

  ASSERT_GT(muted.size(), 4096u) << "the device stopped";
  EXPECT_EQ(muted.find_first_not_of('\0'), std::string::npos) << "muted, yet it sounds";
  EXPECT_GT(Rms(again), Rms(before) / 2) << "unmuted, it stays silent";
  EXPECT_LT(Rms(softer), Rms(again) / 3);
  EXPECT_GT(Rms(softer), 0);
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(20s), 0);
}

// In a host window that goes unmapped nothing is painted and the timer
// stops, but the rain still sounds.
TEST_F(ProgramSound, UnseenItStillSounds) {
  const Window host = x_.MakeWindow(640, 400);
  support::ChildProcess rain = Start("rain", {"--window-id", std::to_string(host), "--sound", "--no-thunder"});
  const auto played = Played("rain");
  const auto size = [&] { return Bytes(played); };
  ASSERT_TRUE(support::WaitUntil([&] { return size() > 2u * 48000 * 4; }, 20s));
  const std::string seen = PlayedSince(played, size(), 1s);
  XUnmapWindow(x_.Dpy(), host);
  XSync(x_.Dpy(), False);
  std::this_thread::sleep_for(2s);  // past the second the sound waits for the animation
  const std::string unseen = PlayedSince(played, size(), 1s);
  EXPECT_GT(Rms(unseen), Rms(seen) / 2);
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(20s), 0);
}

TEST_F(ProgramSound, WithoutADeviceSaysWhyInOneLineAndRainsOn) {
  support::ChildProcess rain = Start("rain", {"--volume", "30"}, "alsa");
  ASSERT_TRUE(Shown());
  ASSERT_TRUE(support::WaitUntil([&] { return !Said("rain").empty(); }, 10s));
  const auto said = Said("rain");
  ASSERT_EQ(said.size(), 1u) << said[0];
  EXPECT_TRUE(said[0].starts_with("rainstorm: no sound: ")) << said[0];
  std::this_thread::sleep_for(500ms);
  EXPECT_TRUE(rain.Running());
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(20s), 0);
}

// A screensaver's preview runs beside the screensaver itself, which may
// play; of two copies asked to play, the first keeps the sound.
TEST_F(ProgramSound, APreviewNeverOpensADeviceAndASecondCopyStaysSilent) {
  const Window host = x_.MakeWindow(320, 200);
  support::ChildProcess first = Start("first", {"--sound"});
  ASSERT_TRUE(Shown());
  ASSERT_TRUE(support::WaitUntil([&] { return std::filesystem::exists(Played("first")); }, 20s));
  support::ChildProcess second = Start("second", {"--sound", "--fullscreen"});
  support::ChildProcess preview = Start("preview", {"--root", "--window-id", std::to_string(host), "--sound"});
  ASSERT_TRUE(support::WaitUntil([&] { return !Said("second").empty(); }, 20s));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(Said("second"), std::vector<std::string>{"rainstorm: no sound: another copy of the program is playing it"});
  EXPECT_EQ(Said("preview"), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(Played("second")));
  EXPECT_FALSE(std::filesystem::exists(Played("preview")));
  for (auto* copy : {&first, &second, &preview}) copy->Signal(SIGTERM);
  for (auto* copy : {&first, &second, &preview}) EXPECT_EQ(copy->WaitForExit(20s), 0);
}

}  // namespace
