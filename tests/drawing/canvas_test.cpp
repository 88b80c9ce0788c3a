#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>

#include "drawing/canvas.h"
#include "tests/support/pixel_check.h"

namespace {

using support::Blue;
using support::Fill;
using support::PixelsAre;
using support::Red;
using support::Snapshot;

constexpr TColor Green = 0x00FF00;
constexpr TColor Yellow = 0x00FFFF;

// A 12 x 9 blue surface: small enough to check every pixel, odd enough that
// width and height are never confused.
class CanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fill(bmp, 12, 9, Blue);
    before = Snapshot(bmp);
  }
  TBitmap bmp;
  std::vector<TColor> before;
};

TEST_F(CanvasTest, ColoursAreStoredInWindowLayoutAndReadBackUnchanged) {
  bmp.Canvas->Brush->Color = Red;
  bmp.Canvas->Pen->Color = Green;
  EXPECT_EQ(static_cast<TColor>(bmp.Canvas->Brush->Color), Red);
  EXPECT_EQ(bmp.Canvas->Brush->Color.pixel(), 0xFF0000u);  // 0x00RRGGBB
  bmp.Canvas->Rectangle(0, 0, 3, 3);
  EXPECT_EQ(bmp.Row(1)[1], 0xFF0000u);
  EXPECT_EQ(bmp.GetPixel(1, 1), Red);
  EXPECT_EQ(bmp.GetPixel(0, 0), Green);
}

TEST(CanvasState, NewCanvasHasBlackPenAndKeepsStateAcrossResizes) {
  TBitmap b;
  EXPECT_EQ(static_cast<TColor>(b.Canvas->Pen->Color), clBlack);
  TCanvas* first = b.Canvas;
  b.Canvas->Pen->Color = Red;
  b.Canvas->MoveTo(4, 5);
  b.Width = 10;
  b.Height = 7;
  EXPECT_EQ(b.Canvas, first);
  EXPECT_EQ(static_cast<TColor>(b.Canvas->Pen->Color), Red);
  EXPECT_EQ(b.Canvas->PenX(), 4);
  EXPECT_EQ(b.Canvas->PenY(), 5);
  EXPECT_EQ(b.Width, 10);
  EXPECT_EQ(b.Height, 7);
}

TEST(BitmapSize, ResizeKeepsTheOverlapAndBlackensTheRest) {
  TBitmap b;
  Fill(b, 3, 2, Red);
  b.SetPixel(2, 1, Green);
  b.SetSize(4, 3);
  EXPECT_EQ(b.GetPixel(2, 1), Green);
  EXPECT_EQ(b.GetPixel(0, 0), Red);
  EXPECT_EQ(b.GetPixel(3, 0), clBlack);
  EXPECT_EQ(b.GetPixel(0, 2), clBlack);
  b.Width = -5;  // nonsense sizes leave an empty bitmap, never a crash
  EXPECT_EQ(b.width(), 0);
  b.Canvas->Rectangle(-1, -1, 5, 5);
  b.Canvas->LineTo(3, 3);
}

// --- Rectangle ---------------------------------------------------------------

struct Box {
  int x1, y1, x2, y2;
};

class RectangleTest : public CanvasTest, public ::testing::WithParamInterface<Box> {};

// Every pixel of the surface against the definition: the border (columns x1
// and x2-1, rows y1 and y2-1) takes the pen, the rest of the box the brush.
TEST_P(RectangleTest, FillsTheBoxAndBordersItInsideAndClips) {
  const Box r = GetParam();
  bmp.Canvas->Pen->Color = Red;
  bmp.Canvas->Brush->Color = Yellow;
  bmp.Canvas->Rectangle(r.x1, r.y1, r.x2, r.y2);
  EXPECT_TRUE(PixelsAre(bmp, before, [&](int x, int y) -> std::optional<TColor> {
    if (x < r.x1 || x >= r.x2 || y < r.y1 || y >= r.y2) return std::nullopt;
    const bool border = x == r.x1 || x == r.x2 - 1 || y == r.y1 || y == r.y2 - 1;
    return border ? Red : Yellow;
  }));
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, RectangleTest,
    ::testing::Values(Box{2, 1, 7, 5},                 // inside
                      Box{-3, 2, 4, 6}, Box{8, 2, 15, 6},  // cut on the left, on the right
                      Box{3, -4, 6, 3}, Box{3, 6, 6, 20},  // cut at the top, at the bottom
                      Box{-1, -1, 13, 10},             // border just outside on every side
                      Box{0, 0, 12, 9},                // exactly the surface
                      Box{4, 4, 5, 5}, Box{4, 2, 5, 8}, Box{1, 3, 9, 4},  // 1x1, one wide, one high
                      Box{5, 5, 5, 8}, Box{6, 3, 2, 7},                   // empty, reversed
                      Box{20, 1, 30, 5}, Box{-30, -30, -1, -1},           // wholly outside
                      Box{INT_MIN, INT_MIN, INT_MAX, INT_MAX}));          // extremes

// --- LineTo ------------------------------------------------------------------

// The line loop of the drawing contract, plotted pixel by pixel with a bounds
// check: the reference the clipped implementation must match exactly.
std::set<std::pair<int, int>> ReferenceLine(int x0, int y0, int x1, int y1, int w, int h) {
  std::set<std::pair<int, int>> out;
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    if (x0 >= 0 && x0 < w && y0 >= 0 && y0 < h) out.insert({x0, y0});
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  return out;
}

void ExpectLine(TBitmap& bmp, int x0, int y0, int x1, int y1) {
  const auto before = Snapshot(bmp);
  const auto want = ReferenceLine(x0, y0, x1, y1, bmp.width(), bmp.height());
  bmp.Canvas->Pen->Color = Red;
  bmp.Canvas->MoveTo(x0, y0);
  bmp.Canvas->LineTo(x1, y1);
  EXPECT_TRUE(PixelsAre(bmp, before, [&](int x, int y) -> std::optional<TColor> {
    if (want.count({x, y})) return Red;
    return std::nullopt;
  })) << "line (" << x0 << "," << y0 << ") to (" << x1 << "," << y1 << ")";
  EXPECT_EQ(bmp.Canvas->PenX(), x1);
  EXPECT_EQ(bmp.Canvas->PenY(), y1);
}

TEST_F(CanvasTest, LineStopsBeforeItsEndPoint) {
  bmp.Canvas->Pen->Color = Red;
  bmp.Canvas->MoveTo(2, 3);
  bmp.Canvas->LineTo(6, 3);
  EXPECT_TRUE(PixelsAre(bmp, before, [](int x, int y) -> std::optional<TColor> {
    if (y == 3 && x >= 2 && x < 6) return Red;
    return std::nullopt;
  }));
  // A line to where it already is draws nothing.
  const auto after = Snapshot(bmp);
  bmp.Canvas->LineTo(6, 3);
  EXPECT_EQ(Snapshot(bmp), after);
}

TEST_F(CanvasTest, SteepLineTakesTheContractsPixels) {
  // The far drop's size-3 streak: 2 right, 10 down.
  bmp.Canvas->Pen->Color = Red;
  bmp.Canvas->MoveTo(1, 0);
  bmp.Canvas->LineTo(3, 10);
  const std::set<std::pair<int, int>> want{{1, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4},
                                           {2, 5}, {2, 6}, {2, 7}, {3, 8}};
  EXPECT_TRUE(PixelsAre(bmp, before, [&](int x, int y) -> std::optional<TColor> {
    if (want.count({x, y})) return Red;
    return std::nullopt;
  }));
}

// Every octant, every kind of clipping: thousands of random lines with ends
// inside, near and far outside the surface.
TEST_F(CanvasTest, ClippedLinesMatchTheReferenceLoopInEveryOctant) {
  std::mt19937 gen(12345);
  std::uniform_int_distribution<int> near(-6, 17), far(-60, 70);
  for (int i = 0; i < 3000; ++i) {
    auto& d = i % 3 == 0 ? far : near;
    Fill(bmp, 12, 9, Blue);
    ExpectLine(bmp, d(gen), d(gen), d(gen), d(gen));
    if (HasFailure()) return;
  }
}

TEST_F(CanvasTest, LinesBetweenExtremeCoordinatesFinishAndAreExact) {
  bmp.Canvas->Pen->Color = Red;
  bmp.Canvas->MoveTo(INT_MIN, INT_MIN);
  bmp.Canvas->LineTo(INT_MAX, INT_MAX);  // the main diagonal, one pixel per step
  bmp.Canvas->MoveTo(-2000000000, 4);
  bmp.Canvas->LineTo(2000000000, 4);     // all of row 4
  EXPECT_TRUE(PixelsAre(bmp, before, [](int x, int y) -> std::optional<TColor> {
    if (x == y || y == 4) return Red;
    return std::nullopt;
  }));
}

// --- Draw --------------------------------------------------------------------

// A 5 x 6 "F" in red on a blue field, plus one green pixel so that flips in
// either direction show.  Lower-left is blue, so blue is its transparent key.
void MakeF(TBitmap& f) {
  Fill(f, 5, 6, Blue);
  for (int y = 0; y < 5; ++y) f.SetPixel(1, y, Red);
  for (int x = 1; x < 4; ++x) f.SetPixel(x, 0, Red);
  for (int x = 1; x < 3; ++x) f.SetPixel(x, 2, Red);
  f.SetPixel(4, 5, Green);
}

struct Offset {
  int x, y;
};

// The F drawn onto a yellow surface.
class FTest : public CanvasTest {
 protected:
  void SetUp() override {
    Fill(bmp, 12, 9, Yellow);
    before = Snapshot(bmp);
    MakeF(f);
  }
  TBitmap f;
};

class DrawTest : public FTest, public ::testing::WithParamInterface<std::tuple<Offset, bool>> {};

TEST_P(DrawTest, CopiesUnscaledClipsAndSkipsTheKeyWhenTransparent) {
  const auto [at, transparent] = GetParam();
  f.Transparent = transparent;
  bmp.Canvas->Draw(at.x, at.y, &f);
  EXPECT_TRUE(PixelsAre(bmp, before, [&](int x, int y) -> std::optional<TColor> {
    const long long sx = static_cast<long long>(x) - at.x, sy = static_cast<long long>(y) - at.y;
    if (sx < 0 || sy < 0 || sx >= f.width() || sy >= f.height()) return std::nullopt;
    const TColor c = f.GetPixel(static_cast<int>(sx), static_cast<int>(sy));
    if (transparent && c == Blue) return std::nullopt;
    return c;
  }));
}

std::string DrawCaseName(const ::testing::TestParamInfo<std::tuple<Offset, bool>>& info) {
  const Offset o = std::get<0>(info.param);
  std::ostringstream name;
  for (long long v : {static_cast<long long>(o.x), static_cast<long long>(o.y)})
    name << (v < 0 ? "m" : "") << std::llabs(v) << "_";
  name << (std::get<1>(info.param) ? "transparent" : "opaque");
  return name.str();
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, DrawTest,
    ::testing::Combine(::testing::Values(Offset{3, 2}, Offset{-2, 1}, Offset{9, 2}, Offset{4, -3},
                                         Offset{4, 6}, Offset{-4, -5}, Offset{11, 8},
                                         Offset{12, 0}, Offset{0, -6}, Offset{INT_MIN, INT_MAX},
                                         Offset{INT_MAX, INT_MIN}),
                       ::testing::Bool()),
    DrawCaseName);

// A transparent bitmap remembers which of its pixels Draw copies.  Every way
// of changing its pixels must make the next Draw use the new ones: a
// transparent pixel made opaque, or a new key colour.
struct Edit {
  const char* name;
  void (*apply)(TBitmap& f);
};

void PrintTo(const Edit& edit, std::ostream* os) { *os << edit.name; }

class TransparentDrawAfterAnEdit : public FTest, public ::testing::WithParamInterface<Edit> {};

TEST_P(TransparentDrawAfterAnEdit, UsesTheEditedPixels) {
  f.Transparent = true;
  bmp.Canvas->Draw(0, 0, &f);
  GetParam().apply(f);
  Fill(bmp, 12, 9, Yellow);
  bmp.Canvas->Draw(0, 0, &f);
  const TColor key = f.GetPixel(0, f.height() - 1);
  EXPECT_TRUE(PixelsAre(bmp, before, [&](int x, int y) -> std::optional<TColor> {
    if (x >= f.width() || y >= f.height()) return std::nullopt;
    const TColor c = f.GetPixel(x, y);
    return c == key ? std::nullopt : std::optional<TColor>(c);
  }));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, TransparentDrawAfterAnEdit,
    ::testing::Values(Edit{"SetPixel", [](TBitmap& f) { f.SetPixel(3, 3, Green); }},
                      Edit{"MutableRow", [](TBitmap& f) { f.MutableRow(4)[3] = drawing::ToPixel(Red); }},
                      // Paints over the stem and the lower-left: green is the new key.
                      Edit{"Canvas",
                           [](TBitmap& f) {
                             f.Canvas->Pen->Color = Green;
                             f.Canvas->Brush->Color = Green;
                             f.Canvas->Rectangle(0, 0, 2, 6);
                           }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CanvasTest, DrawingNothingChangesNothing) {
  TBitmap empty;
  empty.Transparent = true;
  bmp.Canvas->Draw(0, 0, &empty);
  bmp.Canvas->Draw(0, 0, nullptr);
  EXPECT_EQ(Snapshot(bmp), before);
}

}  // namespace
