// The scale a window opens at without --scale.

#include <gtest/gtest.h>

#include <tuple>

#include "app/screen.h"

namespace {

TEST(DesktopWindowScaleTest, FollowsGdkScaleThenXftDpiAndFitsTheScreen) {
  const struct {
    const char *gdkScale, *xftDpi;
    int usableWidth, usableHeight, scale;
  } cases[] = {{"", "", 2560, 1600, 1},     {"", "192", 2560, 1600, 2},  {"", "144", 2560, 1600, 1},
               {"", "120", 2560, 1600, 1},  {"", "960", 8000, 8000, 4},  {"2", "96", 2560, 1600, 2},
               {"1", "192", 2560, 1600, 1}, {"0", "192", 2560, 1600, 2}, {"1.5", "", 2560, 1600, 1},
               {"", "lots", 2560, 1600, 1}, {"", "nan", 2560, 1600, 1},  {"", "192", 1920, 1050, 2},
               {"", "192", 1920, 989, 1},   {"", "288", 2351, 1600, 2},  {"3", "", 0, 0, 3}};
  for (const auto& c : cases)
    EXPECT_EQ(app::DesktopWindowScale(c.gdkScale, c.xftDpi, c.usableWidth, c.usableHeight, 784, 495), c.scale)
        << "GDK_SCALE=" << c.gdkScale << " Xft.dpi=" << c.xftDpi << " on " << c.usableWidth << "x" << c.usableHeight;
}

// What the screen options choose, and the one case that is not quite what
// was asked for: a --scale the usable area cannot hold.
TEST(ChoosePresentationTest, TheWindowIdWinsAndAScaleThatDoesNotFitIsLoweredWithANote) {
  using platform::Presentation;
  const auto laptop = [] { return platform::DesktopScreen{1366, 738, ""}; };
  const auto asked = [](std::optional<int> scale, bool root, std::optional<unsigned long> windowId) {
    app::ScreenOptions options;
    std::tie(options.scale, options.root, options.windowId) = std::tuple(scale, root, windowId);
    return options;
  };
  const struct {
    app::ScreenOptions options;
    Presentation::Kind kind;
    int scale;
    unsigned long window;
    bool noted;
  } cases[] = {{asked(2, false, {}), Presentation::kWindow, 1, 0, true},
               {asked(1, false, {}), Presentation::kWindow, 1, 0, false},
               {asked({}, true, 42), Presentation::kForeignWindow, 1, 42, false},
               {asked({}, true, {}), Presentation::kForeignWindow, 1, 7, false}};
  for (const auto& c : cases) {
    const app::ScreenChoice choice = app::ChoosePresentation(c.options, "", "7", laptop, 784, 495);
    EXPECT_EQ(std::tuple(choice.presentation.kind, choice.presentation.scale, choice.presentation.foreignWindow,
                         !choice.note.empty()),
              std::tuple(c.kind, c.scale, c.window, c.noted))
        << choice.note;
  }
  EXPECT_EQ(app::ChoosePresentation(asked(2, false, {}), "", "", laptop, 784, 495).note,
            "--scale 2 does not fit the screen's usable 1366 x 738; using 1");
}

}  // namespace
