#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "scene/drops.h"
#include "scene/random.h"
#include "tests/support/pixel_check.h"
#include "tests/support/scripted_random.h"

namespace {

using scene::DropColor;
using scene::FarDropColor;
using support::Fill;
using support::PixelsAre;
using support::ScriptedRandom;
using support::Snapshot;

// A drop whose every field the test sets: creation draws come from a script.
template <class D = Drop>
D MakeDrop(int x, int y, int speed, int size) {
  ScriptedRandom script;
  script.Add({0, 0, 0, 0, 0});
  D d(10);
  d.x = x;
  d.y = y;
  d.speed = speed;
  d.size = size;
  return d;
}

std::vector<std::pair<int, int>> ObserveDraws(const std::function<void()>& what) {
  std::vector<std::pair<int, int>> seen;
  scene::SetRandomObserver([&](int n, int r) { seen.emplace_back(n, r); });
  what();
  scene::SetRandomObserver({});
  return seen;
}

TEST(DropCreation, TopEntryDrawsFiveTimesInOrder) {
  ScriptedRandom script;
  script.Add({2, 49, 39, 9, 3});  // drift -3, top edge, last column, fastest, largest
  std::optional<Drop> d;
  const auto draws = ObserveDraws([&] { d.emplace(20); });
  EXPECT_EQ(draws, (std::vector<std::pair<int, int>>{{10, 2}, {70, 49}, {40, 39}, {10, 9}, {4, 3}}));
  EXPECT_EQ(d->drift, -3);
  EXPECT_EQ(d->x, 39 * 20 - 3);
  EXPECT_EQ(d->y, 0);
  EXPECT_EQ(d->speed, 24);
  EXPECT_EQ(d->size, 6);
  EXPECT_FALSE(d->IsOut());
}

TEST(DropCreation, LeftEntryAndFarDropsMakeNoDrawOfTheirOwn) {
  ScriptedRandom script;
  script.Add({9, 50, 7, 0, 0});  // drift 4, left edge, lowest height, slowest, smallest
  std::optional<FarDrop> d;
  const auto draws = ObserveDraws([&] { d.emplace(10); });
  EXPECT_EQ(draws, (std::vector<std::pair<int, int>>{{10, 9}, {70, 50}, {8, 7}, {10, 0}, {4, 0}}));
  EXPECT_EQ(d->x, 4);
  EXPECT_EQ(d->y, 560);
  EXPECT_EQ(d->speed, 5);
  EXPECT_EQ(d->size, 3);
  EXPECT_FALSE(d->IsOut());
}

// speed, x step, y step: the fall angle's sine lies just below one half, so
// even speeds step one pixel less to the right than half their speed.
using Step = std::tuple<int, int, int>;
class DropStep : public ::testing::TestWithParam<Step> {};

TEST_P(DropStep, MovesAlongTheFallDirectionTruncating) {
  const auto [speed, sx, sy] = GetParam();
  for (auto [x, y] : {std::pair{0, 0}, std::pair{333, 200}, std::pair{790, 590}}) {
    Drop d = MakeDrop(x, y, speed, 3);
    d.Move();
    EXPECT_EQ(d.x, x + sx) << "from x " << x;
    EXPECT_EQ(d.y, y + sy) << "from y " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, DropStep,
    ::testing::Values(Step{5, 2, 4}, Step{6, 2, 5}, Step{7, 3, 6}, Step{8, 3, 6}, Step{9, 4, 7},
                      Step{10, 4, 8}, Step{11, 5, 9}, Step{12, 5, 10}, Step{13, 6, 11},
                      Step{14, 6, 12}, Step{15, 7, 12}, Step{16, 7, 13}, Step{17, 8, 14},
                      Step{18, 8, 15}, Step{19, 9, 16}, Step{20, 9, 17}, Step{21, 10, 18},
                      Step{22, 10, 19}, Step{23, 11, 19}, Step{24, 11, 20}));

TEST(DropMove, TruncatesTowardZeroFromNegativeX) {
  Drop slow = MakeDrop(-5, 0, 5, 3);
  Drop fast = MakeDrop(-5, 0, 10, 3);
  slow.Move();
  fast.Move();
  EXPECT_EQ(slow.x, -2);
  EXPECT_EQ(fast.x, 0);
}

TEST(DropLimits, OutOnlyStrictlyPastTheRightOrLowerLimit) {
  EXPECT_FALSE(MakeDrop(800, 600, 5, 3).IsOut());
  EXPECT_TRUE(MakeDrop(801, 0, 5, 3).IsOut());
  EXPECT_TRUE(MakeDrop(0, 601, 5, 3).IsOut());
  EXPECT_FALSE(MakeDrop(-5, 0, 5, 3).IsOut());
}

TEST(DropDraw, NearDropIsAStaircaseOfThreeBySixBlocks) {
  TBitmap b;
  Fill(b, 30, 40, clBlack);
  const auto before = Snapshot(b);
  Drop d = MakeDrop(2, 1, 20, 6);
  d.Draw(b.Canvas);
  EXPECT_TRUE(PixelsAre(b, before, [](int x, int y) -> std::optional<TColor> {
    for (int i = 0; i < 6; ++i)
      if (x >= 2 + 3 * i && x < 5 + 3 * i && y >= 1 + 6 * i && y < 7 + 6 * i) return DropColor;
    return std::nullopt;
  }));
  // The pen keeps the drop's colour for the next frame; the brush goes black.
  EXPECT_EQ(static_cast<TColor>(b.Canvas->Pen->Color), DropColor);
  EXPECT_EQ(static_cast<TColor>(b.Canvas->Brush->Color), clBlack);
}

// size -> line end offset; the streak is steeper than the fall.
class FarDropLine : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(FarDropLine, EndsAtTheScaledOffsetWhichItLeavesUnpainted) {
  const auto [size, ex, ey] = GetParam();
  for (auto [x, y] : {std::pair{-2, 0}, std::pair{5, 3}, std::pair{400, 500}}) {
    TBitmap b;
    Fill(b, 30, 40, clBlack);
    b.Canvas->Pen->Color = clWhite;
    FarDrop d = MakeDrop<FarDrop>(x, y, 10, size);
    EXPECT_EQ(d.StreakEnd().x, x + ex);
    EXPECT_EQ(d.StreakEnd().y, y + ey);
    d.Draw(b.Canvas);
    EXPECT_EQ(b.Canvas->PenX(), x + ex);
    EXPECT_EQ(b.Canvas->PenY(), y + ey);
    EXPECT_EQ(static_cast<TColor>(b.Canvas->Pen->Color), FarDropColor);
    EXPECT_EQ(static_cast<TColor>(b.Canvas->Brush->Color), clBlack);
    if (x >= 0 && x + ex < 30 && y + ey < 40) {
      EXPECT_EQ(b.GetPixel(x, y), FarDropColor);
      EXPECT_EQ(b.GetPixel(x + ex, y + ey), clBlack);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FarDropLine,
                         ::testing::Values(std::tuple{3, 2, 10}, std::tuple{4, 3, 13},
                                           std::tuple{5, 4, 17}, std::tuple{6, 5, 20}));

}  // namespace
