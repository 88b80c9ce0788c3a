// How the main window meets the screen: the whole scale a window opens at
// when none is asked for, and the X11 window ids the command line names.

#pragma once

#include <optional>
#include <string_view>

#include "platform/application.h"
#include "platform/form.h"

namespace app {

// The largest scale a window may be asked for.
constexpr int kMaxWindowScale = 4;

// The scale a window of viewWidth x viewHeight opens at without --scale:
// GDK_SCALE when it is a whole number from 1 up, otherwise the X resource
// Xft.dpi divided by 96 and rounded, otherwise 1; at most kMaxWindowScale,
// and lowered until the window fits a usable area of usableWidth x
// usableHeight (an unknown area, 0 x 0, limits nothing).  Never below 1.
int DesktopWindowScale(std::string_view gdkScale, std::string_view xftDpi, int usableWidth, int usableHeight,
                       int viewWidth, int viewHeight);

// An X11 window id written in decimal or as 0x-hex: a whole number from 1
// to 0xFFFFFFFF with nothing around it.  Nothing for anything else.
std::optional<unsigned long> ParseWindowId(std::string_view text);

// What the command line asks of the screen.
struct ScreenOptions {
  std::optional<int> scale;               // --scale N
  bool fullScreen = false;                // --fullscreen
  bool root = false;                      // --root
  std::optional<unsigned long> windowId;  // --window-id ID
};

// How a view of viewWidth x viewHeight is shown: in the window --window-id
// names; for --root in the window XSCREENSAVER_WINDOW (`screensaverWindow`)
// names, or the root window (id 0) when that is empty; full screen; or in a
// window at the scale --scale gives, else at DesktopWindowScale's.  Throws
// Exception when `screensaverWindow` is set but names no window id.
platform::Presentation ChoosePresentation(const ScreenOptions& options, std::string_view gdkScale,
                                          std::string_view screensaverWindow, const platform::DesktopScreen& desktop,
                                          int viewWidth, int viewHeight);

}  // namespace app
