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
  // The options (scale, full screen, root, window id); the kind, scale and
  // window chosen, and the note.
  const std::pair<app::ScreenOptions, std::tuple<Presentation::Kind, int, unsigned long, std::string>> cases[] = {
      {{2, false, false, {}},
       {Presentation::kWindow, 1, 0, "--scale 2 does not fit the screen's usable 1366 x 738; using 1"}},
      {{1, false, false, {}}, {Presentation::kWindow, 1, 0, ""}},
      {{{}, false, true, 42}, {Presentation::kHostWindow, 1, 42, ""}},
      {{{}, false, true, {}}, {Presentation::kHostWindow, 1, 7, ""}}};
  for (const auto& [options, want] : cases) {
    const auto laptop = [] { return platform::Desktop{{1366, 738}, ""}; };
    const app::ScreenChoice choice = app::ChoosePresentation(options, "", "7", laptop, 784, 495);
    const Presentation& shown = choice.presentation;
    EXPECT_EQ(std::tuple(shown.kind, shown.scale, shown.hostWindow, choice.note), want);
  }
}

}  // namespace
