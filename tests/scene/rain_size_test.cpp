#include <gtest/gtest.h>

#include "scene/rain.h"
#include "scene/random.h"

namespace {

using drawing::Size;

// What a seeded run shows once the drop lists have reached their working
// size (the slowest far drop crosses a 1,200-pixel scene in about 320
// frames).
struct Seen {
  double near = 0;  // drops whose position lies in the scene, per frame and pixel
  double far = 0;
  bool topRight = false;    // a drop just in at the far end of the top edge
  bool bottomLeft = false;  // one just in at the lowest row inside the scene
};

Seen Watch(Rain& rain) {
  const Size size = rain.size();
  const auto inside = [&size](const Drop& d) { return d.x >= 0 && d.x < size.width && d.y >= 0 && d.y < size.height; };
  TCanvas nowhere;
  scene::SeedRandom(5);
  Seen seen;
  constexpr int settle = 400, frames = 2000;
  for (int f = 0; f < settle + frames; ++f) {
    rain.NextFrame(&nowhere, nullptr);
    for (const Drop& d : rain.drops) {
      seen.near += f >= settle && inside(d);
      // One move from the top edge is at most 20 down and 11 across; from
      // the left edge, at most 15 across.
      seen.topRight |= d.y <= 20 && d.x >= size.width - 25;
      seen.bottomLeft |= d.x <= 15 && d.y >= size.height - 80 && d.y < size.height;
    }
    for (const Drop& d : rain.farDrops) seen.far += f >= settle && inside(d);
  }
  const double area = static_cast<double>(size.width) * size.height;
  seen.near /= frames * area;
  seen.far /= frames * area;
  return seen;
}

// Larger scenes, a tall narrow one and one just past the window's: as dense
// as the window's scene, fed along both whole edges, and lit all over.
TEST(RainOfAnySize, RainsAsDenselyAsTheWindowsSceneFromBothWholeEdgesUnderALightningThatLightsItAll) {
  Rain window;
  const Seen want = Watch(window);
  for (const Size size : {Size{960, 540}, Size{1366, 768}, Size{1920, 1080}, Size{800, 1200}, Size{801, 534}}) {
    const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
    Rain rain(size, {0, 0});
    const Seen seen = Watch(rain);
    EXPECT_NEAR(seen.near / want.near, 1.0, 0.1) << name << ": near drops";
    EXPECT_NEAR(seen.far / want.far, 1.0, 0.1) << name << ": far drops";
    EXPECT_TRUE(seen.topRight && seen.bottomLeft) << name;

    TBitmap frame;
    frame.SetSize(size.width, size.height);
    rain.flash = 200;
    rain.NextFrame(frame.Canvas, nullptr);
    for (int y = 1; y < size.height - 1; ++y)
      for (int x = 1; x < size.width - 1; ++x) {
        const TColor c = frame.GetPixel(x, y);
        ASSERT_TRUE(c == 0xC8C8C8 || c == scene::DropColor || c == scene::FarDropColor) << name << " (" << x << ","
                                                                                          << y << ")";
      }
  }
}

}  // namespace
