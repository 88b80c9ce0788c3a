#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "scene/frame_setup.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "tests/support/pixel_check.h"
#include "tests/support/scripted_random.h"

namespace {

using scene::DropColor;
using scene::FarDropColor;
using support::Blue;
using support::Fill;
using support::Red;
using support::ScriptedRandom;

// Creation draws for a drop entering the top edge at `column` (x = 20 column)
// with the slowest speed of its kind and the smallest size.
void AddTopDrop(ScriptedRandom& s, std::uint32_t column) { s.Add({5, 0, column, 0, 0}); }

// One frame's draws: the lightning draw, then two far and five near drops,
// all entering at `column`.
void ScriptFrame(ScriptedRandom& s, std::uint32_t lightning, std::uint32_t column = 0) {
  s.Add({lightning});
  for (int i = 0; i < 7; ++i) AddTopDrop(s, column);
}

class RainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A picture that is all transparent key: it paints nothing.
    scene::PrepareFrameAndPicture(frame, picture, [](TBitmap& p) { Fill(p, 800, 533, Blue); });
  }
  template <class D = Drop>
  D At(int x, int y, int speed = 15, int size = 3) {
    ScriptedRandom s;
    AddTopDrop(s, 0);
    D d(20);
    std::tie(d.x, d.y, d.speed, d.size) = std::tuple{x, y, speed, size};
    return d;
  }
  TBitmap frame;
  TBitmap picture;
  Rain rain;
};

TEST_F(RainTest, FirstFrameIsDarkWithEveryNewDropMovedOnceAndPainted) {
  ScriptedRandom s;
  s.Add({999});
  AddTopDrop(s, 30);  // far drops at x = 600 and 620, speed 5
  AddTopDrop(s, 31);
  for (std::uint32_t c : {5u, 6u, 7u, 8u, 9u}) AddTopDrop(s, c);  // near, speed 15
  rain.NextFrame(frame.Canvas, &picture);

  ASSERT_EQ(rain.farDrops.size(), 2u);
  ASSERT_EQ(rain.drops.size(), 5u);
  EXPECT_EQ(std::pair(rain.farDrops[1].x, rain.farDrops[1].y), std::pair(622, 4));
  EXPECT_EQ(std::pair(rain.drops[0].x, rain.drops[0].y), std::pair(107, 12));
  EXPECT_EQ(rain.flash, 0);
  EXPECT_EQ(frame.GetPixel(602, 4), FarDropColor);
  EXPECT_EQ(frame.GetPixel(604, 14), clBlack);  // the streak's end is left out
  EXPECT_EQ(frame.GetPixel(107, 12), DropColor);
  EXPECT_EQ(frame.GetPixel(191, 20), DropColor);
  // Background and its border: black, the border from the new canvas's pen.
  for (auto [x, y] : {std::pair{0, 0}, std::pair{799, 532}, std::pair{0, 300}, std::pair{400, 300}})
    EXPECT_EQ(frame.GetPixel(x, y), clBlack) << x << "," << y;
}

TEST_F(RainTest, LaterBackgroundsAreBorderedWithThePenTheLastDropLeft) {
  ScriptedRandom s;
  ScriptFrame(s, 999, 20);
  ScriptFrame(s, 999, 20);
  rain.NextFrame(frame.Canvas, &picture);
  rain.NextFrame(frame.Canvas, &picture);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{799, 0}, std::pair{0, 532}, std::pair{799, 532}})
    EXPECT_EQ(frame.GetPixel(x, y), DropColor) << x << "," << y;
  EXPECT_EQ(frame.GetPixel(1, 1), clBlack);
  EXPECT_EQ(frame.GetPixel(798, 531), clBlack);
}

// flash before the frame, lightning draw, grey level painted, flash after.
using Strike = std::tuple<int, std::uint32_t, TColor, int>;
class Lightning : public RainTest, public ::testing::WithParamInterface<Strike> {};

TEST_P(Lightning, StrikesOnlyOnceTheLastFlashHasFadedBelowHalf) {
  const auto [before, draw, level, after] = GetParam();
  rain.flash = before;
  ScriptedRandom s;
  ScriptFrame(s, draw);
  rain.NextFrame(frame.Canvas, &picture);
  EXPECT_EQ(frame.GetPixel(700, 100), level | level << 8 | level << 16);
  EXPECT_EQ(rain.skyLevel, static_cast<int>(level));
  EXPECT_EQ(rain.flash, after);
}

INSTANTIATE_TEST_SUITE_P(Flashes, Lightning,
                         ::testing::Values(Strike{0, 999, 0, 0}, Strike{0, 5, 0, 0},
                                           Strike{0, 0, 255, 250}, Strike{0, 4, 255, 250},
                                           Strike{125, 4, 255, 250}, Strike{127, 0, 255, 250},
                                           Strike{128, 0, 128, 123}, Strike{130, 0, 130, 125},
                                           Strike{5, 999, 5, 0}));

TEST_F(RainTest, AStrikeFadesThroughFiftyOneGreysBackToDark) {
  ScriptedRandom s;
  ScriptFrame(s, 0);
  for (int i = 0; i < 60; ++i) ScriptFrame(s, 999);
  std::vector<int> levels;
  for (int i = 0; i < 61; ++i) {
    rain.NextFrame(frame.Canvas, &picture);
    levels.push_back(static_cast<int>(frame.GetPixel(700, 100) & 0xFF));
  }
  for (int i = 0; i < 61; ++i) EXPECT_EQ(levels[i], std::max(255 - 5 * i, 0)) << "frame " << i;
  EXPECT_EQ(rain.flash, 0);
}

// A sky that strikes whenever it may: every draw is 0, the lightning's too.
class StrikeAlways final : public scene::RandomSource {
 public:
  StrikeAlways() { previous_ = scene::SetRandomSource(this); }
  ~StrikeAlways() override { scene::SetRandomSource(previous_); }
  std::uint32_t Next() override { return 0; }

 private:
  scene::RandomSource* previous_ = nullptr;
};

// A flash is a frame whose sky is brighter than the frame before: a strike
// from dark, or one over a flash still fading.
struct Flashes {
  int mostInASecond = 0;  // in any 64 consecutive frames, a second of the timer
  int total = 0;
};

Flashes CountFlashes(int frames) {
  Rain rain;
  TCanvas nowhere;
  std::vector<int> at;
  Flashes seen;
  for (int f = 0, previous = 0; f < frames; ++f) {
    rain.NextFrame(&nowhere, nullptr);
    if (rain.skyLevel > previous) at.push_back(f);
    previous = rain.skyLevel;
    const auto lastSecond = std::ranges::count_if(at, [f](int a) { return a > f - 64; });
    seen.mostInASecond = std::max(seen.mostInASecond, static_cast<int>(lastSecond));
  }
  seen.total = static_cast<int>(at.size());
  return seen;
}

// The seed, none for a sky that strikes whenever it may, and the frames run.
// Seeds 15 and 36 each come to a second with three flashes early on.
using FlashRun = std::tuple<std::optional<std::uint32_t>, int>;
class FlashRate : public ::testing::TestWithParam<FlashRun> {};

// Viewers sensitive to flashes are promised no more than three a second.
TEST_P(FlashRate, NeverMoreThanThreeFlashesInAnySecond) {
  const auto [seed, frames] = GetParam();
  std::optional<StrikeAlways> always;
  if (seed)
    scene::SeedRandom(*seed);
  else
    always.emplace();
  const Flashes seen = CountFlashes(frames);
  EXPECT_EQ(seen.mostInASecond, 3) << "more breaks the promise; fewer, and the run proves nothing";
  // Each strike waits for the last to fade below half: 26 frames.
  if (!seed) {
    EXPECT_EQ(seen.total, (frames + 25) / 26);
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, FlashRate,
                         ::testing::Values(FlashRun{std::nullopt, 64 * 30}, FlashRun{15, 2500},
                                           FlashRun{36, 2500}));

// A seeded run that only moves (the canvas without pixels clips all
// painting): frame by frame the sky's level and a fingerprint of the draws so
// far, then every drop it ends with.  What a calm run paints is checked where
// rain-frames paints a strike (tests/tools/rain_frames_test.cpp).
std::vector<std::int64_t> Watch(bool lightning, const TBitmap& picture) {
  scene::SeedRandom(11);
  Rain rain;
  rain.lightning = lightning;
  TCanvas nowhere;
  std::uint64_t draws = 0;
  scene::SetRandomObserver([&draws](int n, int result) { draws = draws * 0x100000001B3ull + n * 1000ull + result; });
  std::vector<std::int64_t> seen;
  const auto note = [&seen](std::initializer_list<std::int64_t> values) { seen.insert(seen.end(), values); };
  for (int f = 0; f < 20000; ++f) {  // five minutes of rain, with dozens of strikes
    rain.NextFrame(&nowhere, &picture);
    note({rain.skyLevel, static_cast<std::int64_t>(draws)});
  }
  scene::SetRandomObserver({});
  for (const Drop& d : rain.drops) note({d.x, d.y, d.drift, d.speed, d.size});
  for (const Drop& d : rain.farDrops) note({d.x, d.y, d.drift, d.speed, -d.size});
  return seen;
}

// Without lightning every draw is still made, so the rain is that of the lit
// run, and the sky stays dark.
TEST_F(RainTest, WithoutLightningTheSkyStaysDarkAndTheRainIsThatOfTheLitRun) {
  std::vector<std::int64_t> lit = Watch(true, picture);
  int strikes = 0;
  for (std::size_t i = 0; i < 2 * 20000; i += 2) strikes += std::exchange(lit[i], 0) == 255;
  ASSERT_GT(strikes, 10) << "the seed must strike";
  const std::vector<std::int64_t> calm = Watch(false, picture);
  const auto differs = std::ranges::mismatch(calm, lit).in1 - calm.begin();
  EXPECT_TRUE(calm == lit) << "from " << (differs < 40000 ? "frame " + std::to_string(differs / 2) : "the drops on");
}

TEST_F(RainTest, EachFrameDrawsLightningThenTwoFarThenFiveNearDrops) {
  scene::SeedRandom(99);
  std::vector<int> bounds;
  scene::SetRandomObserver([&](int n, int) { bounds.push_back(n); });
  for (int i = 0; i < 40; ++i) rain.NextFrame(frame.Canvas, &picture);
  scene::SetRandomObserver({});
  ASSERT_EQ(bounds.size(), 40u * 36u);
  for (std::size_t f = 0; f < 40; ++f) {
    const auto* b = &bounds[f * 36];
    ASSERT_EQ(b[0], 1000);
    for (int d = 0; d < 7; ++d) {
      const int* p = b + 1 + 5 * d;
      ASSERT_EQ(p[0], 10);
      ASSERT_EQ(p[1], 70);
      ASSERT_TRUE(p[2] == 40 || p[2] == 8);
      ASSERT_EQ(p[3], 10);
      ASSERT_EQ(p[4], 4);
    }
  }
}

TEST_F(RainTest, RemovalDropsEveryOutDropBeforeMovingAndKeepsOrder) {
  // Out drops side by side, first and last, among drops still in.
  rain.drops = {At(801, 0), At(900, 10), At(10, 20), At(0, 601), At(30, 40), At(0, 700)};
  rain.farDrops = {At<FarDrop>(0, 601), At<FarDrop>(50, 60)};
  ScriptedRandom s;
  ScriptFrame(s, 999, 39);
  rain.NextFrame(frame.Canvas, &picture);
  ASSERT_EQ(rain.drops.size(), 7u);
  EXPECT_EQ(std::pair(rain.drops[0].x, rain.drops[0].y), std::pair(17, 32));
  EXPECT_EQ(std::pair(rain.drops[1].x, rain.drops[1].y), std::pair(37, 52));
  EXPECT_EQ(rain.drops[2].y, 12);  // the new ones follow, moved once
  ASSERT_EQ(rain.farDrops.size(), 3u);
  EXPECT_EQ(rain.farDrops[0].x, 57);

  // A drop moved past a limit is still painted there and goes next frame.
  rain.drops = {At(795, 100)};
  ScriptFrame(s, 999, 0);
  rain.NextFrame(frame.Canvas, &picture);
  EXPECT_EQ(rain.drops.front().x, 802);
  ScriptFrame(s, 999, 0);
  rain.NextFrame(frame.Canvas, &picture);
  EXPECT_EQ(rain.drops.size(), 10u);  // only the two frames' new drops
}

TEST_F(RainTest, FarDropsFallBehindThePictureAndNearDropsInFront) {
  // An opaque red block in the picture; far and near drops on and off it.
  for (int y = 100; y < 300; ++y)
    for (int x = 100; x < 300; ++x) picture.SetPixel(x, y, Red);
  rain.farDrops = {At<FarDrop>(148, 146, 5), At<FarDrop>(498, 146, 5)};
  rain.drops = {At(193, 188)};
  ScriptedRandom s;
  ScriptFrame(s, 999, 39);
  rain.NextFrame(frame.Canvas, &picture);
  EXPECT_EQ(frame.GetPixel(150, 150), Red);
  EXPECT_EQ(frame.GetPixel(500, 150), FarDropColor);
  EXPECT_EQ(frame.GetPixel(200, 200), DropColor);
  EXPECT_EQ(frame.GetPixel(250, 250), Red);
}

TEST_F(RainTest, AnOpaquePictureHidesLightningAndFarDrops) {
  Fill(picture, 800, 533, Red);
  picture.SetPixel(0, 532, Blue);  // only the key pixel, outside the window part
  scene::SeedRandom(3);
  for (int i = 0; i < 200; ++i) {
    rain.flash = i % 2 ? 255 : 0;
    rain.NextFrame(frame.Canvas, &picture);
  }
  for (int y = 0; y < 495; ++y)
    for (int x = 0; x < 784; ++x) {
      const TColor c = frame.GetPixel(x, y);
      ASSERT_TRUE(c == Red || c == DropColor) << x << "," << y << " is " << std::hex << c;
    }
}

// A seeded run of a scene, measured once the slowest far drop has crossed
// 1,200 pixels (about 320 frames): near and far drops in the scene per frame
// and pixel, and whether one was seen just in at the far end of the top edge
// and at the lowest row of the left edge (a first move goes at most 20 down
// and 11 across from the top, 15 across from the left).
struct Seen {
  double near = 0, far = 0;
  bool topRight = false, bottomLeft = false;
};

Seen Watch(Rain rain) {
  const drawing::Size s = rain.size();
  const auto inside = [s](const Drop& d) { return d.x >= 0 && d.x < s.width && d.y >= 0 && d.y < s.height; };
  const auto in = [&](const auto& drops) {
    return std::ranges::count_if(drops, inside) / (2000.0 * s.width * s.height);  // a frame of the 2,000
  };
  TCanvas nowhere;
  scene::SeedRandom(5);
  Seen seen;
  for (int f = -400; f < 2000; ++f) {
    rain.NextFrame(&nowhere, nullptr);
    for (const Drop& d : rain.drops) {
      seen.topRight |= d.y <= 20 && d.x >= s.width - 25;
      seen.bottomLeft |= d.x <= 15 && d.y >= s.height - 80 && d.y < s.height;
    }
    if (f >= 0) seen.near += in(rain.drops), seen.far += in(rain.farDrops);
  }
  return seen;
}

// Larger scenes, a tall narrow one and one just past the window's rain as
// densely as the window's, fed along both whole edges.  (That the lightning
// lights a whole scene shows in the frame tool's sized frames.)
TEST(RainOfAnySize, RainsAsDenselyAsTheWindowsSceneFedAlongBothWholeEdges) {
  const Seen want = Watch(Rain());
  for (const drawing::Size size : {drawing::Size{960, 540}, {1366, 768}, {1920, 1080}, {800, 1200}, {801, 534}}) {
    const Seen seen = Watch(Rain(size, {0, 0}));
    const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
    EXPECT_NEAR(seen.near / want.near, 1.0, 0.1) << name << ": near drops";
    EXPECT_NEAR(seen.far / want.far, 1.0, 0.1) << name << ": far drops";
    EXPECT_TRUE(seen.topRight && seen.bottomLeft) << name;
  }
}

}  // namespace
