// The scale a window opens at without --scale, and how the options and the
// desktop choose where the animation is shown.

#include <gtest/gtest.h>

#include <tuple>

#include "app/screen.h"

namespace {

struct ScaleCase {
  const char* gdkScale;
  const char* xftDpi;
  int usableWidth;
  int usableHeight;
  int scale;
};

class DesktopWindowScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(DesktopWindowScaleTest, FollowsTheDesktopAndFitsTheScreen) {
  const ScaleCase& c = GetParam();
  EXPECT_EQ(app::DesktopWindowScale(c.gdkScale, c.xftDpi, c.usableWidth, c.usableHeight, 784, 495), c.scale)
      << "GDK_SCALE=" << c.gdkScale << " Xft.dpi=" << c.xftDpi << " on " << c.usableWidth << "x" << c.usableHeight;
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, DesktopWindowScaleTest,
    ::testing::Values(ScaleCase{"", "", 2560, 1600, 1},          // nothing said: as before
                      ScaleCase{"", "96", 2560, 1600, 1},
                      ScaleCase{"", "192", 2560, 1600, 2},
                      ScaleCase{"", "144", 2560, 1600, 2},       // 1.5 rounds up
                      ScaleCase{"", "120", 2560, 1600, 1},       // 1.25 rounds down
                      ScaleCase{"", "48", 2560, 1600, 1},        // never below 1
                      ScaleCase{"", "960", 8000, 8000, 4},       // never above 4
                      ScaleCase{"2", "96", 2560, 1600, 2},       // GDK_SCALE first
                      ScaleCase{"1", "192", 2560, 1600, 1},
                      ScaleCase{"9", "", 8000, 8000, 4},
                      ScaleCase{"0", "192", 2560, 1600, 2},      // not a usable GDK_SCALE: Xft.dpi decides
                      ScaleCase{"1.5", "", 2560, 1600, 1},
                      ScaleCase{"2x", "", 2560, 1600, 1},
                      ScaleCase{"", "lots", 2560, 1600, 1},
                      ScaleCase{"", "nan", 2560, 1600, 1},
                      ScaleCase{"", "192", 1920, 1050, 2},       // 1568 x 990 fits
                      ScaleCase{"", "192", 1920, 989, 1},        // one row short
                      ScaleCase{"", "288", 2351, 1600, 2},       // 3x is one column short
                      ScaleCase{"3", "", 0, 0, 3}));             // unknown screen limits nothing

// The options win over the desktop; --root falls back to the root window.
TEST(ChoosePresentationTest, FollowsTheOptionsThenTheDesktop) {
  using platform::Presentation;
  const platform::DesktopScreen desktop{2560, 1600, "192"};
  using Options = app::ScreenOptions;
  const auto choose = [&](void (*set)(Options&), const char* screensaver = "") {
    Options options;
    set(options);
    const Presentation p = app::ChoosePresentation(options, "", screensaver, desktop, 784, 495);
    return std::tuple(p.kind, p.kind == Presentation::kWindow ? p.scale : 0, p.foreignWindow);
  };
  EXPECT_EQ(choose([](Options&) {}), std::tuple(Presentation::kWindow, 2, 0ul));
  EXPECT_EQ(choose([](Options& o) { o.scale = 3; }), std::tuple(Presentation::kWindow, 3, 0ul));
  EXPECT_EQ(choose([](Options& o) { o.scale = 1; }), std::tuple(Presentation::kWindow, 1, 0ul));
  EXPECT_EQ(choose([](Options& o) { o.fullScreen = true; }), std::tuple(Presentation::kFullScreen, 0, 0ul));
  EXPECT_EQ(choose([](Options& o) { o.root = true; }), std::tuple(Presentation::kForeignWindow, 0, 0ul));
  EXPECT_EQ(choose([](Options& o) { o.root = true; }, "0x400007"),
            std::tuple(Presentation::kForeignWindow, 0, 0x400007ul));
  EXPECT_EQ(choose([](Options& o) { o.windowId = 77; }, "0x400007"),
            std::tuple(Presentation::kForeignWindow, 0, 77ul));
  EXPECT_THROW(choose([](Options& o) { o.root = true; }, "window"), Exception);
}

}  // namespace
