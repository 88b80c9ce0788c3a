// How the main window meets the screen: the whole scale a window opens at
// when none is asked for, and the presentation the command line asks for.

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "platform/backend.h"

namespace app {

// `scale`, lowered until a window of viewWidth x viewHeight at that scale
// fits a usable area of usableWidth x usableHeight (an unknown area, 0 x 0,
// limits nothing).  Never below 1.
int FittingScale(int scale, int usableWidth, int usableHeight, int viewWidth, int viewHeight);

// The scale a window of viewWidth x viewHeight opens at without --scale:
// GDK_SCALE when it is a whole number from 1 up, otherwise the X resource
// Xft.dpi divided by 96 and rounded down, otherwise 1; at most
// kMaxWindowScale, and lowered until it fits (FittingScale).
int DesktopWindowScale(std::string_view gdkScale, std::string_view xftDpi, int usableWidth, int usableHeight,
                       int viewWidth, int viewHeight);

struct ScreenChoice {
  platform::Presentation presentation;
  std::string note;  // one line for stderr when the choice is not quite what was asked for; empty otherwise
};

// How a view of viewWidth x viewHeight is shown: in the window --window-id
// names (even with --root); for --root in the window XSCREENSAVER_WINDOW
// (`screensaverWindow`) names, or the root window when that is empty;
// full screen; or in a window at the scale --scale gives, lowered with a
// note when it does not fit, else at DesktopWindowScale's for what `desktop`
// says (asked only for a window, since asking costs a connection to the
// display).  Throws Exception when `screensaverWindow` is set but names no
// window id.
ScreenChoice ChoosePresentation(const ScreenOptions& options, std::string_view gdkScale,
                                std::string_view screensaverWindow, platform::Desktop (*desktop)(), int viewWidth,
                                int viewHeight);

}  // namespace app
