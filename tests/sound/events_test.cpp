// What the sound hears of the scene: the landings and strikes the scene
// reports, and the steady rain they are weighed against, which must be what
// a scene of that size really lands, or a full screen would sound louder or
// softer than the window.

#include "sound/events.h"

#include <gtest/gtest.h>

#include "scene/rain.h"
#include "scene/random.h"

namespace {

TEST(FrameEvents, StrikesAreTheFlashesAndSteadyRainIsWhatEachSceneSizeLands) {
  const drawing::Size sizes[] = {{800, 533}, {960, 540}, {1366, 768}, {3840, 2160}, {40, 30}};
  for (const drawing::Size size : sizes) {
    scene::SeedRandom(11);
    Rain rain(size, {0, 0});
    TCanvas nowhere;
    TBitmap picture;
    sound::FrameEvents sum;
    for (int frame = 0; frame < 3000; ++frame) {
      rain.NextFrame(&nowhere, &picture);
      const sound::FrameEvents events = sound::EventsOf(rain);
      // A strike is the frame the sky was lit to full.
      ASSERT_EQ(events.strikes == 1, rain.skyLevel == 255) << "frame " << frame;
      if (frame >= 300) sum += events;  // past the first drops' way down
    }
    const auto at = testing::Message() << size.width << " x " << size.height;
    EXPECT_EQ(sum.frames, 2700) << at;
    EXPECT_NEAR(sum.nearLanded / sum.steadyNear, 1.0, 0.02) << at;
    EXPECT_NEAR(sum.farLanded / sum.steadyFar, 1.0, 0.02) << at;
    EXPECT_GT(sum.strikes, 3) << at;
  }
}

}  // namespace
