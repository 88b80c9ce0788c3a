// The main window without a display: each timer event paints one frame
// straight onto the client area, the top-left part of the whole frame, and a
// click changes nothing; what the options and the window's being seen reach.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/main.h"
#include "drawing/canvas.h"
#include "scene/random.h"

TEST(MainWindowTest, EachTimerEventPaintsOneFrameOntoTheClientAreaAndAClickChangesNothing) {
  TComponent owner(nullptr);
  fMain = new TfMain(&owner);
  ASSERT_NE(rain, nullptr);
  std::vector<drawing::Pixel> client(784 * 495, 0x5A5A5A);  // stands in for the window's client area
  fMain->Canvas->Attach({client.data(), 784, 495, 784});
  // The same scene painted as whole 800 x 533 frames on a bitmap, with the
  // same draws; every pixel of the client area is the top-left 784 x 495 of
  // that frame.
  Rain reference = *rain;
  std::uint32_t seed = 1;
  const auto nextFrame = [&] {
    scene::SeedRandom(++seed);
    fMain->Timer1->OnTimer()(fMain->Timer1);
    scene::SeedRandom(seed);
    reference.NextFrame(frameBitmap->Canvas, pictureBitmap);
  };
  const auto expectClientShowsFrame = [&] {
    for (int y = 0; y < 495; ++y)
      ASSERT_TRUE(std::equal(frameBitmap->Row(y), frameBitmap->Row(y) + 784, client.begin() + y * 784)) << "row " << y;
  };

  // One frame adds five near and two far drops.
  nextFrame();
  EXPECT_EQ(rain->drops.size(), 5u);
  EXPECT_EQ(rain->farDrops.size(), 2u);
  expectClientShowsFrame();

  const std::vector<drawing::Pixel> before = client;
  fMain->OnClick(fMain);
  EXPECT_EQ(client, before);
  EXPECT_EQ(rain->drops.size(), 5u);

  nextFrame();
  EXPECT_EQ(rain->farDrops.size(), 4u);
  expectClientShowsFrame();
  // A lit frame too: a strike lands about once in 200 frames.
  bool lit = false;
  for (int frame = 0; frame < 2000 && !lit; ++frame) {
    nextFrame();
    lit = rain->flash > 0;
  }
  EXPECT_TRUE(lit);
  expectClientShowsFrame();
  // The scene lives as long as the program; the test frees it.
  delete rain;
  rain = nullptr;
  fMain = nullptr;
}

namespace {

using platform::Presentation;

app::WindowOptions Options(app::ScreenOptions screen, bool lightning, std::string gdkScale = "",
                           std::string screensaverWindow = "") {
  return {screen, lightning, std::move(gdkScale), std::move(screensaverWindow), {}};
}

// A main window made as the program makes it, freed with what it made.
class MadeWindowTest : public ::testing::Test {
 protected:
  TfMain* Make(const app::WindowOptions& options) {
    fMain = new TfMain(&owner_, options);
    return fMain;
  }
  void TearDown() override {
    delete rain;
    rain = nullptr;
    fMain = nullptr;
  }
  TComponent owner_{nullptr};
};

TEST_F(MadeWindowTest, TheOptionsChooseThePresentationAndLightTheScene) {
  struct Row {
    const char* name;
    app::WindowOptions options;
    Presentation presentation;
  };
  // --scale, --fullscreen, --root, --window-id
  const Row rows[] = {
      {"window at the desktop's scale", Options({{}, false, false, {}}, true, "3"), {Presentation::kWindow, 3, 0}},
      {"window at --scale", Options({2, false, false, {}}, false), {Presentation::kWindow, 2, 0}},
      {"full screen", Options({{}, true, false, {}}, false), {Presentation::kFullScreen, 1, 0}},
      {"root window", Options({{}, false, true, {}}, true), {Presentation::kRoot, 1, 0}},
      {"screensaver's window", Options({{}, false, true, {}}, false, "", "0x2a"), {Presentation::kHostWindow, 1, 42}},
      {"window by id", Options({{}, false, false, 7}, true), {Presentation::kHostWindow, 1, 7}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const TfMain* window = Make(row.options);
    EXPECT_EQ(window->Presentation, row.presentation);
    EXPECT_EQ(rain->lightning, row.options.lightning);
    delete rain;
    rain = nullptr;
  }
}

TEST_F(MadeWindowTest, SeedsTheRandomSourceFromTheClock) {
  scene::SeedRandom(12345);
  const auto before = static_cast<std::uint32_t>(std::time(nullptr));
  Make({});
  const auto after = static_cast<std::uint32_t>(std::time(nullptr));
  std::vector<int> drawn;
  for (int i = 0; i < 4; ++i) drawn.push_back(Random(1 << 30));
  bool clockSeed = false;
  for (std::uint32_t seed = before; seed <= after && !clockSeed; ++seed) {
    scene::SeedRandom(seed);
    std::vector<int> expected;
    for (int i = 0; i < 4; ++i) expected.push_back(Random(1 << 30));
    clockSeed = expected == drawn;
  }
  EXPECT_TRUE(clockSeed);
}

TEST_F(MadeWindowTest, UnseenStopsTheTimerAndSeenAgainMakesUpTheMissedTicksAndPaintsAtOnce) {
  TfMain* window = Make({});
  std::vector<drawing::Pixel> client(784 * 495, 0x5A5A5A);
  window->Canvas->Attach({client.data(), 784, 495, 784});
  window->FormHide(window);
  EXPECT_FALSE(window->Timer1->Enabled());
  // At least three ticks of 15.625 ms go by unseen.
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  window->FormShow(window);
  EXPECT_TRUE(window->Timer1->Enabled());
  // Five near drops a frame: the missed ticks and the frame painted now.
  EXPECT_GE(rain->drops.size(), 4u * 5);
  EXPECT_NE(client, std::vector<drawing::Pixel>(784 * 495, 0x5A5A5A)) << "no frame painted when seen again";
}

TEST_F(MadeWindowTest, EveryFilledScreenGetsTheOptionsLightningAndAScreenAddedLaterASteadyRain) {
  TfMain* window = Make(Options({{}, false, true, {}}, false));
  const auto screen = [](int width, int height) { return platform::View{{0, 0, width, height}, true, {}, nullptr}; };
  window->FitScenes({screen(1920, 1080), screen(1280, 1024)});
  ASSERT_EQ(window->MoreScenes().size(), 1u);
  for (const Rain* scene : {static_cast<const Rain*>(rain), &window->MoreScenes()[0].first}) {
    EXPECT_FALSE(scene->lightning);
    EXPECT_TRUE(scene->drops.empty()) << "the first layout starts from an empty sky";
  }
  // A monitor changes once the rain runs: its new scene rains at once, the
  // other keeps its own.
  window->FitScenes({screen(1920, 1080), screen(1600, 900)});
  ASSERT_EQ(window->MoreScenes().size(), 1u);
  const Rain& changed = window->MoreScenes()[0].first;
  EXPECT_FALSE(changed.lightning);
  EXPECT_FALSE(changed.drops.empty()) << "no steady rain on the changed monitor";
  EXPECT_TRUE(rain->drops.empty()) << "the unchanged monitor's scene was replaced";
}

}  // namespace
