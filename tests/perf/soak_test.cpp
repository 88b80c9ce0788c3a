// Long runs: 200,000 frames, about 52 minutes of animation at the timer's 64
// frames a second.  What must hold for hours of running: the drop lists stay
// within the bounds the drops' lifetimes give, the lightning always fades back
// to dark, and memory stays flat once the lists have reached working size.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>

#include "scene/frame_setup.h"
#include "drawing/canvas.h"
#include "scene/drops.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "tests/perf/test_picture.h"

namespace {

constexpr long kFrames = 200'000;
constexpr long kSettleFrames = 1'000;
constexpr long kResidentGrowthLimitKb = 1024;

// How far down a drop of the given speed moves per frame from any position
// y >= 0: the fractional part is truncated away.
int StepDown(int speed) { return static_cast<int>(std::cos(scene::FallAngle) * speed); }

// The most frames a drop can stay in its list.
//
// A drop enters with y >= 0 and never moves up.  A drop of the slowest speed
// s (base speed - 5, since speed = Random(10) + base - 5) moves at least
// StepDown(s) pixels down each frame, so after m moves y >= m * StepDown(s);
// it is out once y > DropLowerLimit, i.e. after the smallest m with
// m * StepDown(s) > DropLowerLimit.  The removal test runs at the start of the
// frame's pass, before the move, so a drop is moved (and painted) in its
// first frame and in every later frame until the test sees it out: at most m
// times, and it sits in the list at the end of at most m frames.  The right
// limit can only shorten that.
//   near drops: s = 15, 12 px per frame, m = 51
//   far drops:  s = 5,   4 px per frame, m = 151
// With 5 near and 2 far drops added per frame, the lists can never hold more
// than 5 * 51 = 255 near and 2 * 151 = 302 far drops.  (They hold about 140
// and 130 on average, because most drops are faster.)
int LongestLife(int baseSpeed) {
  const int slowest = baseSpeed - 5;
  return scene::DropLowerLimit / StepDown(slowest) + 1;
}

// The peak resident size so far.  getrusage does not touch the heap, so the
// measuring cannot grow the memory it measures.
long PeakResidentKb() {
  rusage usage{};
  return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
}

TEST(Soak, TwoHundredThousandFramesStayBoundedDarkenAndKeepMemoryFlat) {
  const std::size_t nearBound = 5u * static_cast<std::size_t>(LongestLife(DropSpeed));
  const std::size_t farBound = 2u * static_cast<std::size_t>(LongestLife(FarDropSpeed));
  ASSERT_EQ(nearBound, 255u);  // the derivation above, worked through
  ASSERT_EQ(farBound, 302u);

  TBitmap picture;
  TBitmap frame;
  scene::PrepareFrameAndPicture(frame, picture, [](TBitmap& p) { MakeTestPicture(p, SceneWidth, SceneHeight); });
  Rain rain;
  scene::SeedRandom(20240607);

  std::size_t mostNear = 0, mostFar = 0;
  long strikes = 0, framesSinceStrike = -1;  // none yet
  long settledKb = 0;

  for (long f = 1; f <= kFrames; ++f) {
    rain.NextFrame(frame.Canvas, &picture);

    mostNear = std::max(mostNear, rain.drops.size());
    mostFar = std::max(mostFar, rain.farDrops.size());
    ASSERT_LE(rain.drops.size(), nearBound) << "near drops after frame " << f;
    ASSERT_LE(rain.farDrops.size(), farBound) << "far drops after frame " << f;

    // A strike sets 255 and the same frame fades it by 5, so 250 after a frame
    // means a strike in it; 50 further frames of fading reach 0.
    ASSERT_TRUE(rain.flash >= 0 && rain.flash <= 255) << rain.flash << " after frame " << f;
    framesSinceStrike = rain.flash == 250 ? 0 : framesSinceStrike + (framesSinceStrike >= 0);
    strikes += framesSinceStrike == 0;
    ASSERT_TRUE(framesSinceStrike < 50 || rain.flash == 0) << "still lit after frame " << f;

    if (f == kSettleFrames) settledKb = PeakResidentKb();
  }

  EXPECT_GT(strikes, 100) << "about one strike in 250 frames is expected";
  EXPECT_GT(mostNear, 100u);
  EXPECT_GT(mostFar, 100u);
  const long mostKb = PeakResidentKb();
  ASSERT_GT(settledKb, 0) << "getrusage failed";
  EXPECT_LT(mostKb - settledKb, kResidentGrowthLimitKb)
      << "resident memory grew from " << settledKb << " kB to " << mostKb << " kB";
}

}  // namespace
