// The scale a window opens at without --scale, and the window ids the
// command line accepts.

#include <gtest/gtest.h>

#include <optional>

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

TEST(ParseWindowIdTest, TakesDecimalAndHexIdsOnly) {
  for (const auto& [text, id] : {std::pair<const char*, unsigned long>{"12345", 12345}, {"0x2a00007", 0x2a00007},
                                 {"0X1F", 0x1F}, {"4294967295", 0xFFFFFFFFu}, {"0xffffffff", 0xFFFFFFFFu}})
    EXPECT_EQ(app::ParseWindowId(text), std::optional(id)) << text;
  for (const char* text : {"", "0", "0x", "0x0", "-5", "+5", "12a", " 12", "0x1g", "4294967296", "0x100000000",
                           "99999999999999999999999"})
    EXPECT_EQ(app::ParseWindowId(text), std::nullopt) << "'" << text << "'";
}

}  // namespace
