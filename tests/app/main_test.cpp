// The main window without a display: each timer event paints one frame onto
// the client area, and a click changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/main.h"
#include "drawing/canvas.h"

TEST(MainWindowTest, EachTimerEventPaintsOneFrameOntoTheClientAreaAndAClickChangesNothing) {
  TComponent owner(nullptr);
  fMain = new TfMain(&owner);
  ASSERT_NE(rain, nullptr);
  std::vector<drawing::Pixel> client(784 * 495, 0x5A5A5A);  // stands in for the window's client area
  fMain->Canvas->Attach({client.data(), 784, 495, 784});
  // Every pixel of the client area is the top-left 784 x 495 of the frame.
  const auto expectClientShowsFrame = [&] {
    for (int y = 0; y < 495; ++y)
      ASSERT_TRUE(std::equal(frameBitmap->Row(y), frameBitmap->Row(y) + 784, client.begin() + y * 784)) << "row " << y;
  };

  // One frame adds five near and two far drops.
  fMain->Timer1->OnTimer()(fMain->Timer1);
  EXPECT_EQ(rain->drops.size(), 5u);
  EXPECT_EQ(rain->farDrops.size(), 2u);
  expectClientShowsFrame();

  const std::vector<drawing::Pixel> before = client;
  fMain->OnClick(fMain);
  EXPECT_EQ(client, before);
  EXPECT_EQ(rain->drops.size(), 5u);

  fMain->Timer1->OnTimer()(fMain->Timer1);
  EXPECT_EQ(rain->farDrops.size(), 4u);
  expectClientShowsFrame();
  // The scene lives as long as the program; the test frees it.
  delete rain;
  rain = nullptr;
  fMain = nullptr;
}
