// How the main window meets the screen: the whole scale a window opens at
// when none is asked for, and the presentation the command line asks for.

#pragma once

#include <optional>
#include <string_view>

#include "app/command_line.h"
#include "platform/application.h"
#include "platform/form.h"

namespace app {

// The scale a window of viewWidth x viewHeight opens at without --scale:
// GDK_SCALE when it is a whole number from 1 up, otherwise the X resource
// Xft.dpi divided by 96 and rounded, otherwise 1; at most kMaxWindowScale,
// and lowered until the window fits a usable area of usableWidth x
// usableHeight (an unknown area, 0 x 0, limits nothing).  Never below 1.
int DesktopWindowScale(std::string_view gdkScale, std::string_view xftDpi, int usableWidth, int usableHeight,
                       int viewWidth, int viewHeight);

// How a view of viewWidth x viewHeight is shown: in the window --window-id
// names; for --root in the window XSCREENSAVER_WINDOW (`screensaverWindow`)
// names, or the root window (id 0) when that is empty; full screen; or in a
// window at the scale --scale gives, else at DesktopWindowScale's for what
// `desktop` says (asked only then, since asking costs a connection to the
// display).  Throws Exception when `screensaverWindow` is set but names no
// window id.
platform::Presentation ChoosePresentation(const ScreenOptions& options, std::string_view gdkScale,
                                          std::string_view screensaverWindow, platform::DesktopScreen (*desktop)(),
                                          int viewWidth, int viewHeight);

}  // namespace app
