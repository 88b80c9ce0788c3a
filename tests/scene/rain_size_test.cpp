#include <gtest/gtest.h>

#include <algorithm>

#include "scene/rain.h"
#include "scene/random.h"

namespace {

// A seeded run, measured once the slowest far drop has crossed 1,200 pixels
// (about 320 frames): near and far drops in the scene per frame and pixel,
// and whether one was seen just in at the far end of the top edge and at the
// lowest row of the left edge inside the scene (a first move goes at most 20
// down and 11 across from the top, 15 across from the left).
struct Seen {
  double near = 0, far = 0;
  bool topRight = false, bottomLeft = false;
};

Seen Watch(Rain rain) {
  const drawing::Size s = rain.size();
  const auto in = [s](const auto& drops) {
    return std::ranges::count_if(drops, [s](const Drop& d) {
      return d.x >= 0 && d.x < s.width && d.y >= 0 && d.y < s.height;
    }) / (static_cast<double>(s.width) * s.height);
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
    if (f >= 0) seen.near += in(rain.drops) / 2000, seen.far += in(rain.farDrops) / 2000;
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
