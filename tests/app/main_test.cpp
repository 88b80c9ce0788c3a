// The main window without a display: each timer event paints one frame
// straight onto the client area, the top-left part of the whole frame, and a
// click changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
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
