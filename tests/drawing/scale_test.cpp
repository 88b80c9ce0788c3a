#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <sstream>
#include <tuple>
#include <vector>

#include "drawing/scale.h"

namespace {

using drawing::Box;
using drawing::Pixel;
using drawing::ViewFit;

TEST(FitView, CentresTheViewAtTheLargestWholeScaleOrShrinksItToFit) {
  const struct {
    int viewWidth, viewHeight, areaWidth, areaHeight;
    ViewFit want;
  } cases[] = {{784, 495, 1920, 1080, {{176, 45, 1568, 990}, 2}}, {784, 495, 1568, 990, {{0, 0, 1568, 990}, 2}},
                {784, 495, 1567, 990, {{391, 247, 784, 495}, 1}}, {784, 495, 1024, 768, {{120, 136, 784, 495}, 1}},
                {784, 495, 3200, 2000, {{32, 10, 3136, 1980}, 4}}, {784, 495, 200, 150, {{0, 12, 200, 126}, 0}},
                {784, 495, 2000, 100, {{921, 0, 158, 100}, 0}}, {784, 495, 100, 1000, {{0, 468, 100, 63}, 0}},
                {784, 495, 1, 1, {{0, 0, 1, 1}, 0}}, {784, 495, 1000, 1, {{499, 0, 1, 1}, 0}},
                {10, 1000, 1000, 5, {{499, 0, 1, 5}, 0}}, {784, 495, 0, 1080, {}}, {784, 495, 1920, -1, {}},
                {0, 495, 1920, 1080, {}}};
  for (const auto& c : cases) {
    const ViewFit got = drawing::FitView(c.viewWidth, c.viewHeight, c.areaWidth, c.areaHeight);
    EXPECT_EQ(got, c.want) << c.viewWidth << "x" << c.viewHeight << " in " << c.areaWidth << "x"
                           << c.areaHeight << " gave " << got.box.width << "x" << got.box.height << " at ("
                           << got.box.x << "," << got.box.y << ") scale " << got.scale;
  }
}

// The region's examples, a region cut off the grid, one just the picture's
// size, and ones too small.  Where the picture lands in the region follows
// from the fill: the origin plus its scene position times the scale.
TEST(FillRegion, StandsThePictureCentredOnTheBottomAtTheLargestScaleAndCoversTheRegionInBlocks) {
  const struct {
    int width, height, scale, x, y;  // the region; what the picture gets
  } cases[] = {{1920, 1080, 2, 160, 14}, {1366, 768, 1, 283, 235}, {3840, 2160, 4, 320, 28},
               {2560, 1440, 2, 480, 374}, {1921, 1081, 2, 160, 15}, {800, 533, 1, 0, 0}, {1603, 1601, 2, 1, 535}};
  for (const auto& c : cases) {
    const auto fill = drawing::FillRegion({c.width, c.height}, {800, 533});
    ASSERT_TRUE(fill) << c.width << "x" << c.height;
    const int n = fill->scale;
    EXPECT_EQ(std::tuple(n, fill->origin.x + n * fill->picture.x, fill->origin.y + n * fill->picture.y),
              std::tuple(c.scale, c.x, c.y)) << c.width << "x" << c.height;
    // Blocks cover every pixel of the region and start less than one block
    // before it.
    const Box box = fill->InRegion();
    EXPECT_TRUE(box.x <= 0 && box.x > -n && box.y <= 0 && box.y > -n) << c.width << "x" << c.height;
    EXPECT_TRUE(box.x + box.width >= c.width && box.x + box.width < c.width + n) << c.width << "x" << c.height;
    EXPECT_TRUE(box.y + box.height >= c.height && box.y + box.height < c.height + n) << c.width << "x" << c.height;
  }
  EXPECT_FALSE(drawing::FillRegion({799, 1080}, {800, 533}));
  EXPECT_FALSE(drawing::FillRegion({1920, 532}, {800, 533}));
}

// A red "F" on blue, 13 x 9 in rows of 15: asymmetric, so that a flip or a
// transposition shows, with odd sizes so that the vector loops leave tails.
// The green channel numbers the pixels, so that any wrong pick shows, not
// only one at the F's edges; the two pixels past each row must never be read.
constexpr int kWidth = 13, kHeight = 9, kStride = 15;

// What a pixel held before: different at every place and unlike any colour,
// so that a stray write or a copy from the wrong place shows.
Pixel Untouched(std::size_t i) { return 0x80000000u | static_cast<Pixel>(i); }

std::vector<Pixel> FPicture() {
  const char* rows[kHeight] = {".............", ".#########...", ".##..........",
                               ".##..........", ".######......", ".##..........",
                               ".##..........", ".##..........", "............."};
  std::vector<Pixel> p(kStride * kHeight, Untouched(0));
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      p[y * kStride + x] = (rows[y][x] == '#' ? 0xFF0000u : 0x0000FFu) | (y * kWidth + x) << 8;
  return p;
}

struct PresentCase {
  const char* name;
  int targetWidth, targetHeight;
  Box box;
};

class PresentScaledTest : public ::testing::TestWithParam<PresentCase> {};

// Every pixel of a target with a gap after each row and a row past its end:
// the box shows the source, the rest is black once filled, the gaps stay
// untouched.
TEST_P(PresentScaledTest, CopiesEveryPixelExactlyAndNothingElse) {
  const PresentCase& c = GetParam();
  const int stride = c.targetWidth + 3;
  std::vector<Pixel> pixels(stride * (c.targetHeight + 1));
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = Untouched(i);
  const drawing::Surface target{pixels.data(), c.targetWidth, c.targetHeight, stride};
  // The pixels that differ from `picture` in the box, from black outside it
  // once `filled`, and from what they held everywhere else.
  const auto wrongPixels = [&](const std::vector<Pixel>& picture, bool filled) {
    std::ostringstream wrong;
    for (int i = 0; i < std::ssize(pixels); ++i) {
      const int x = i % stride, y = i / stride;
      const std::int64_t bx = std::int64_t{x} - c.box.x, by = std::int64_t{y} - c.box.y;
      const bool inTarget = x < c.targetWidth && y < c.targetHeight;
      const bool inBox = inTarget && bx >= 0 && bx < c.box.width && by >= 0 && by < c.box.height;
      const Pixel want = inBox ? picture[by * kHeight / c.box.height * kStride + bx * kWidth / c.box.width]
                               : filled && inTarget ? 0 : Untouched(i);
      if (pixels[i] != want) wrong << " (" << x << "," << y << ")";
    }
    return wrong.str();
  };
  // First the picture with a few pixels changed, then the picture itself as
  // a change of that: both must show exactly.  The changes fall in either
  // half of a run of eight, or past the runs, and leave some rows alone.
  std::vector<Pixel> source = FPicture(), shown = source;
  for (const auto& [x, y] : {std::pair{1, 0}, {1, 3}, {6, 1}, {6, 7}, {12, 4}}) shown[y * kStride + x] ^= 0x00FF00FFu;
  const auto view = [](std::vector<Pixel>& p) { return drawing::Surface{p.data(), kWidth, kHeight, kStride}; };
  drawing::PresentScaled(target, c.box, view(shown));
  EXPECT_EQ(wrongPixels(shown, false), "") << "after PresentScaled";
  drawing::PresentScaledChanges(target, c.box, view(source), view(shown));
  EXPECT_EQ(wrongPixels(source, false), "") << "after PresentScaledChanges";
  if (c.box.width > 0 && c.box.x >= 0 && c.box.y >= 0 && c.box.x + c.box.width <= c.targetWidth &&
      c.box.y + c.box.height <= c.targetHeight) {
    EXPECT_EQ(shown, source) << "what the box shows, all of it here, is the picture now";
  }
  drawing::FillOutside(target, c.box, 0);
  EXPECT_EQ(wrongPixels(source, true), "") << "after FillOutside";
}

INSTANTIATE_TEST_SUITE_P(Boxes, PresentScaledTest, ::testing::Values(
    PresentCase{"Scale1", 16, 11, {2, 1, 13, 9}}, PresentCase{"Scale2", 30, 20, {2, 1, 26, 18}},
    PresentCase{"Scale3", 41, 30, {1, 2, 39, 27}}, PresentCase{"Scale4", 55, 38, {2, 1, 52, 36}},
    PresentCase{"Scale5", 66, 46, {0, 0, 65, 45}},
    // Rows of a multiple of 4 pixels and boxes starting on 16-byte
    // boundaries: the bands of whole blocks that bypass the cache.
    PresentCase{"Scale2Aligned", 33, 20, {4, 1, 26, 18}}, PresentCase{"Scale3Aligned", 45, 27, {4, 0, 39, 27}},
    PresentCase{"Scale4Aligned", 61, 40, {8, 2, 52, 36}}, PresentCase{"Scale3CutMidBlock", 30, 20, {-5, -4, 39, 27}},
    PresentCase{"ShrunkToFit", 9, 8, {1, 2, 6, 4}}, PresentCase{"WholeAcrossNotDown", 28, 14, {1, 0, 26, 13}},
    PresentCase{"StretchedByAFraction", 21, 14, {0, 0, 20, 14}}, PresentCase{"EmptyBox", 10, 10, {3, 3, 0, 5}},
    PresentCase{"AtTheEndsOfTheIntRange", 12, 8, {INT_MAX - 10, INT_MIN, 100, 100}},
    PresentCase{"HugeAroundTheTarget", 12, 8, {-1000000000, -1000000000, 2000000001, 2000000001}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A display that hands out three buffers in turn, in no fixed order: after
// each Show the buffer shown on holds the view exactly.
TEST(ScaledView, BringsEachOfSeveralBuffersUpToDate) {
  drawing::ScaledView view(32, 16, 0);
  std::vector<std::vector<Pixel>> buffers(3, std::vector<Pixel>(64 * 32, 0x0BAD));
  const auto target = [&](int i) { return drawing::Surface{buffers[i].data(), 64, 32, 64}; };
  view.Fit(target(0), {0, 0, 64, 32});
  const drawing::Surface v = view.view();
  for (const int i : {0, 0, 0, 1, 0, 2, 2, 2, 1, 0, 1, 2, 0}) {
    // Two colours, so that a buffer often holds the new pixel already.
    for (int k = 0; k < 6; ++k) v.pixels[(i * 7 + k * 13) % 16 * v.stride + (k * 11 + i) % 32] = 0x111111u * (k % 2 + i);
    view.Show(target(i));
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 64; ++x)
        ASSERT_EQ(buffers[i][y * 64 + x], v.pixels[y / 2 * v.stride + x / 2]) << "buffer " << i << " at (" << x << "," << y << ")";
  }
}

}  // namespace
