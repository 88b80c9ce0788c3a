// Shared by the platform's own files only: what SDL cannot say to the
// window manager by itself.

#pragma once

#include <SDL.h>

struct FrameButtons {
  bool systemMenu;
  bool minimize;
  bool maximize;
  bool sizeable;
};

// Asks the window manager for exactly these frame buttons and functions.
// SDL only fixes the size of a window that cannot be resized, which leaves
// most window managers showing a maximise button that does nothing.  Does
// nothing on displays other than X11.
void SetFrameButtons(SDL_Window* window, const FrameButtons& buttons);
