// What the main window is made with, handed to it in one piece when it is
// created: the command line's choices and what the environment says about
// the screen.

#pragma once

#include <string>

#include "app/command_line.h"

namespace app {

struct WindowOptions {
  ScreenOptions screen;
  bool lightning = true;
  std::string gdkScale;           // GDK_SCALE
  std::string screensaverWindow;  // XSCREENSAVER_WINDOW
  SoundOptions sound;             // never on for a settings preview
};

}  // namespace app
