// Which display system the environment picks, and what a forced choice or
// another program's window does to it.

#include <gtest/gtest.h>

#include "drawing/exception.h"
#include "platform/backend_choice.h"

namespace {

using platform::DisplaySystem;
using platform::DisplaySystemsToTry;
constexpr DisplaySystem X = DisplaySystem::kX11, W = DisplaySystem::kWayland;

TEST(DisplaySystemsToTry, FollowTheSessionTheForcedChoiceAndTheWindowsNature) {
  const struct {
    const char* name;
    const char *wayland, *display, *forced;
    bool x11Only;
    std::vector<DisplaySystem> tried;
  } kCases[] = {
      {"an X11 session", nullptr, ":0", nullptr, false, {X}},
      {"a Wayland session with XWayland falls back to it", "wayland-0", ":0", nullptr, false, {W, X}},
      {"a Wayland session without X has nothing to fall back to", "wayland-0", nullptr, nullptr, false, {W}},
      {"an empty WAYLAND_DISPLAY is no session", "", ":0", nullptr, false, {X}},
      {"neither: X11 says why not", nullptr, nullptr, nullptr, false, {X}},
      {"another program's window is X11's", "wayland-0", ":0", nullptr, true, {X}},
      {"forced X11 inside a Wayland session", "wayland-0", ":0", "x11", false, {X}},
      {"forced Wayland has no fallback", "wayland-0", ":0", "wayland", false, {W}},
      {"forced Wayland without a session still tries it", nullptr, ":0", "wayland", false, {W}},
      {"forced Wayland cannot make a host window Wayland's", "wayland-0", ":0", "wayland", true, {X}},
      {"an empty RAIN_BACKEND forces nothing", "wayland-0", ":0", "", false, {W, X}},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(DisplaySystemsToTry(c.wayland, c.display, c.forced, c.x11Only), c.tried) << c.name;
}

TEST(DisplaySystemsToTry, ARainBackendNamingNeitherIsRefusedInOneLine) {
  for (const char* forced : {"X11", "sdl", "wayland\n"}) {
    try {
      DisplaySystemsToTry("wayland-0", ":0", forced, false);
      ADD_FAILURE() << forced << " was taken";
    } catch (const Exception& e) {
      EXPECT_NE(e.Message().find("RAIN_BACKEND"), std::string::npos) << e.Message();
      EXPECT_EQ(e.Message().find('\n'), std::string::npos) << e.Message();
    }
  }
}

}  // namespace
