// The scale a window opens at without --scale.

#include <gtest/gtest.h>

#include "app/screen.h"

namespace {

TEST(DesktopWindowScaleTest, FollowsGdkScaleThenXftDpiAndFitsTheScreen) {
  const struct {
    const char *gdkScale, *xftDpi;
    int usableWidth, usableHeight, scale;
  } cases[] = {{"", "", 2560, 1600, 1},     {"", "192", 2560, 1600, 2},  {"", "144", 2560, 1600, 2},
               {"", "120", 2560, 1600, 1},  {"", "960", 8000, 8000, 4},  {"2", "96", 2560, 1600, 2},
               {"1", "192", 2560, 1600, 1}, {"0", "192", 2560, 1600, 2}, {"1.5", "", 2560, 1600, 1},
               {"", "lots", 2560, 1600, 1}, {"", "nan", 2560, 1600, 1},  {"", "192", 1920, 1050, 2},
               {"", "192", 1920, 989, 1},   {"", "288", 2351, 1600, 2},  {"3", "", 0, 0, 3}};
  for (const auto& c : cases)
    EXPECT_EQ(app::DesktopWindowScale(c.gdkScale, c.xftDpi, c.usableWidth, c.usableHeight, 784, 495), c.scale)
        << "GDK_SCALE=" << c.gdkScale << " Xft.dpi=" << c.xftDpi << " on " << c.usableWidth << "x" << c.usableHeight;
}

}  // namespace
