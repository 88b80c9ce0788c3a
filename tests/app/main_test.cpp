// The main window without a display: what its constructor builds, what one
// timer event paints onto the client area, and that a click changes nothing.

#include <gtest/gtest.h>

#include <vector>

#include "canvas.h"
#include "main.h"
#include "pixel_check.h"

namespace {

// The picture's background, which is also its lower-left pixel.
constexpr TColor kPictureBackground = 0xE7BFC8;  // RGB(200, 191, 231)

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fMain = new TfMain(&owner_);
    // Stands in for the window's client area.
    client_.assign(784 * 495, 0x5A5A5A);
    fMain->Canvas->Attach(Surface{client_.data(), 784, 495, 784});
  }

  void TearDown() override {
    // The scene lives as long as the program; a test frees it so that each
    // test starts from a new one.
    delete rain;
    rain = nullptr;
    fMain = nullptr;
  }

  // Every pixel of the client area against the top-left 784 x 495 of the
  // frame; returns the number that differ.
  int ClientPixelsDifferingFromFrame() const {
    int differing = 0;
    for (int y = 0; y < 495; ++y) {
      for (int x = 0; x < 784; ++x) {
        if (client_[static_cast<std::size_t>(y) * 784 + x] != frameBitmap->Row(y)[x]) ++differing;
      }
    }
    return differing;
  }

  TComponent owner_{nullptr};
  std::vector<Pixel> client_;
};

TEST_F(MainWindowTest, ConstructorBuildsTheSceneFrameAndPicture) {
  EXPECT_TRUE(fMain->DoubleBuffered);
  EXPECT_EQ(fMain->Caption, "Rain");
  ASSERT_NE(rain, nullptr);
  EXPECT_TRUE(rain->drops.empty());
  EXPECT_TRUE(rain->farDrops.empty());
  EXPECT_EQ(rain->flash, 0);
  EXPECT_EQ(frameBitmap->width(), 800);
  EXPECT_EQ(frameBitmap->height(), 533);
  // The embedded picture, ready to be drawn transparent.
  EXPECT_EQ(pictureBitmap->width(), 800);
  EXPECT_EQ(pictureBitmap->height(), 533);
  EXPECT_TRUE(pictureBitmap->Transparent);
  EXPECT_EQ(pictureBitmap->GetPixel(0, 532), kPictureBackground);
  // The timer that drives the animation calls Timer1Timer at the desktop rate.
  EXPECT_EQ(fMain->Timer1->Interval(), 1u);
  EXPECT_TRUE(fMain->Timer1->Enabled());
  EXPECT_TRUE(static_cast<bool>(fMain->Timer1->OnTimer()));
}

TEST_F(MainWindowTest, EachTimerEventPaintsOneFrameOntoTheClientArea) {
  fMain->Timer1->OnTimer()(fMain->Timer1);
  // One frame: two far drops and five near drops so far.
  EXPECT_EQ(rain->farDrops.size(), 2u);
  EXPECT_EQ(rain->drops.size(), 5u);
  EXPECT_EQ(ClientPixelsDifferingFromFrame(), 0);

  fMain->Timer1->OnTimer()(fMain->Timer1);
  EXPECT_EQ(rain->farDrops.size(), 4u);
  EXPECT_EQ(ClientPixelsDifferingFromFrame(), 0);
}

TEST_F(MainWindowTest, ClickChangesNothing) {
  fMain->Timer1->OnTimer()(fMain->Timer1);
  const std::vector<Pixel> before = client_;
  const auto version = fMain->Canvas->version();
  const auto drops = rain->drops.size();
  fMain->OnClick(fMain);
  EXPECT_EQ(client_, before);
  EXPECT_EQ(fMain->Canvas->version(), version);
  EXPECT_EQ(rain->drops.size(), drops);
}

}  // namespace
