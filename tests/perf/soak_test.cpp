// Long runs: 200,000 frames, about 52 minutes of animation at the timer's 64
// frames a second.  What must hold for hours of running: the drop lists stay
// within the bounds the drops' lifetimes give, the lightning always fades back
// to dark, and memory stays flat once the lists have reached working size.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "canvas.h"
#include "drops.h"
#include "rain.h"
#include "random.h"
#include "test_picture.h"

namespace {

constexpr long kFrames = 200'000;
constexpr long kSettleFrames = 1'000;
constexpr long kResidentGrowthLimitKb = 1024;

// How far a drop of the given speed moves per frame, from a position x >= 0,
// y >= 0: the fractional part is truncated away, so the step is the same from
// every such position.
int StepDown(int speed) { return static_cast<int>(std::cos(FallAngle) * speed); }
int StepRight(int speed) { return static_cast<int>(std::sin(FallAngle) * speed); }

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
  return DropLowerLimit / StepDown(slowest) + 1;
}

// A drop is painted once at the position past a limit where it was moved,
// then removed, so no listed drop lies further out than one fastest step
// (speed base + 4) beyond the limits.
struct Reach {
  int right;
  int down;
};
Reach FarthestReach(int baseSpeed) {
  const int fastest = baseSpeed + 4;
  return {DropRightLimit + StepRight(fastest), DropLowerLimit + StepDown(fastest)};
}

// Reads VmRSS without touching the heap, so that the measuring itself cannot
// grow the memory it measures (under AddressSanitizer freed blocks are not
// reused at once).
long ResidentKb() {
  char text[4096];
  const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const ssize_t length = read(fd, text, sizeof text - 1);
  close(fd);
  if (length <= 0) return -1;
  text[length] = '\0';
  const char* field = std::strstr(text, "VmRSS:");
  return field == nullptr ? -1 : std::strtol(field + 6, nullptr, 10);
}

template <typename DropList>
void ExpectWithinReach(const DropList& list, Reach reach, long frame, const char* which) {
  for (const Drop& d : list) {
    if (d.x > reach.right || d.y > reach.down || d.y < 0) {
      FAIL() << which << " drop at (" << d.x << ", " << d.y << ") after frame " << frame
             << " lies beyond (" << reach.right << ", " << reach.down << ")";
    }
  }
}

TEST(Soak, TwoHundredThousandFramesStayBoundedDarkenAndKeepMemoryFlat) {
  const std::size_t nearBound = 5u * static_cast<std::size_t>(LongestLife(DropSpeed));
  const std::size_t farBound = 2u * static_cast<std::size_t>(LongestLife(FarDropSpeed));
  ASSERT_EQ(nearBound, 255u);  // the derivation above, worked through
  ASSERT_EQ(farBound, 302u);
  const Reach nearReach = FarthestReach(DropSpeed);
  const Reach farReach = FarthestReach(FarDropSpeed);

  TBitmap picture;
  MakeTestPicture(picture, SceneWidth, SceneHeight);
  TBitmap frame;
  frame.SetSize(SceneWidth, SceneHeight);
  Rain rain;
  SeedRandom(20240607);

  std::size_t mostNear = 0;
  std::size_t mostFar = 0;
  long strikes = 0;
  long framesSinceStrike = -1;  // none yet
  long settledKb = 0;
  long mostKb = 0;

  for (long f = 1; f <= kFrames; ++f) {
    rain.NextFrame(frame.Canvas, &picture);

    mostNear = std::max(mostNear, rain.drops.size());
    mostFar = std::max(mostFar, rain.farDrops.size());
    if (rain.drops.size() > nearBound || rain.farDrops.size() > farBound) {
      FAIL() << "after frame " << f << " the lists hold " << rain.drops.size() << " near and "
             << rain.farDrops.size() << " far drops, more than " << nearBound << " and " << farBound;
    }
    ExpectWithinReach(rain.drops, nearReach, f, "near");
    ExpectWithinReach(rain.farDrops, farReach, f, "far");
    if (HasFailure()) return;

    // A strike sets 255 and the same frame fades it by 5, so 250 after a frame
    // means a strike in it; 50 further frames of fading reach 0.
    ASSERT_GE(rain.flash, 0) << "frame " << f;
    ASSERT_LE(rain.flash, 255) << "frame " << f;
    if (rain.flash == 250) {
      ++strikes;
      framesSinceStrike = 0;
    } else if (framesSinceStrike >= 0) {
      ++framesSinceStrike;
    }
    if (framesSinceStrike >= 50) {
      ASSERT_EQ(rain.flash, 0) << "still lit " << framesSinceStrike << " frames after a strike, frame " << f;
    }

    if (f == kSettleFrames) settledKb = ResidentKb();
    if (f > kSettleFrames && f % 1000 == 0) mostKb = std::max(mostKb, ResidentKb());
  }

  EXPECT_GT(strikes, 100) << "about one strike in 250 frames is expected";
  EXPECT_GT(mostNear, 100u);
  EXPECT_GT(mostFar, 100u);
  ASSERT_GT(settledKb, 0) << "cannot read VmRSS from /proc/self/status";
  EXPECT_LT(mostKb - settledKb, kResidentGrowthLimitKb)
      << "resident memory grew from " << settledKb << " kB to " << mostKb << " kB";
  RecordProperty("most_near_drops", static_cast<int>(mostNear));
  RecordProperty("most_far_drops", static_cast<int>(mostFar));
  RecordProperty("strikes", static_cast<int>(strikes));
}

}  // namespace
