// What a display system does for the program: one object per connection,
// holding every bit of its state.  The host (platform/host.h) owns the loop
// and every rule that is the same on all displays; a backend only connects,
// opens or adopts the window, reports its areas and events, presents pixels
// and waits.

#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/geometry.h"

namespace platform {

// Where the animation is shown.  Chosen before the window opens.
struct Presentation {
  enum Kind {
    kWindow,      // a window of its own, `scale` times the client area
    kFullScreen,  // a window of its own covering the monitor the user is at
    kRoot,        // the desktop itself: every monitor of the X root window, or the Wayland background
    kHostWindow,  // the X11 window `hostWindow`, made and kept by another program
  };
  Kind kind = kWindow;
  int scale = 1;
  unsigned long hostWindow = 0;
  friend bool operator==(const Presentation&, const Presentation&) = default;
};

// What the desktop says before any window opens.
struct Desktop {
  drawing::Size usable;  // the first screen without its panels; 0 x 0 when unknown
  std::string xftDpi;    // the X resource Xft.dpi as text; empty when unset or not X11
};

// The window as its description lays it out, in view pixels.
struct WindowLook {
  std::string caption;    // "Rain"
  std::string appId;      // the desktop entry's id, also X11's WM_CLASS
  drawing::Size client;   // 784 x 495
  drawing::Point place;   // where the client area goes, where the display lets a client choose
  bool minimizeButton = true;
  drawing::Pixel background = 0;  // the client area until something is painted
  const TBitmap* icon = nullptr;  // may be null
};

enum class Key { kOther, kQ, kW, kEscape, kF11, kM, kPlus, kMinus };

struct Modifiers {
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
  bool logo = false;
};

struct Event {
  enum Kind {
    kAreasChanged,  // Areas() says something new: size, scale, full screen, monitors
    kSeen,          // somebody can see the window again
    kUnseen,        // nobody can: minimised, unmapped, covered, hidden, monitors off
    kFocus,         // the window took the keyboard; `held` are the keys already down
    kKeyDown,
    kKeyUp,
    kClick,         // the left button pressed and released over the window
    kCloseAsked,    // the title bar, the task bar, the session
    kHostGone,      // the window drawn in (another program's) went away
  };
  Kind kind = kAreasChanged;
  Key key = Key::kOther;
  bool repeat = false;
  Modifiers modifiers;
  std::vector<Key> held;
};

// One part of the window with a view of its own: the whole window, or one
// monitor of the root window or one Wayland output.  In device pixels of
// the window's surface.
struct Area {
  drawing::Box box;
  bool fills = false;  // covers a screen or another program's window: laid out around the picture
  friend bool operator==(const Area&, const Area&) = default;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // "x11" or "wayland", for messages and tests.
  virtual std::string Name() const = 0;
  virtual Desktop DescribeDesktop() = 0;

  // Makes the window (or adopts the host window, or the root) and shows it.
  // Throws Exception naming the window when it cannot be had.
  virtual void Open(const WindowLook& look, const Presentation& presentation) = 0;

  // The window's areas; empty before Open.
  virtual std::vector<Area> Areas() = 0;

  // The whole window's pixels, 0x00RRGGBB, holding what was last presented.
  // The host writes into it and then names what it wrote in Present.  Valid
  // until the next Present, Dispatch or Wait.
  virtual drawing::Surface Pixels() = 0;
  // Shows the boxes of Pixels() that changed; a backend paced by the
  // display shows them when the display asks for the next frame.
  virtual void Present(std::span<const drawing::Box> changed) = 0;
  // Whether a Present now reaches the screen at once.  A backend paced by
  // the display says no until the display asks for the next frame; the
  // host keeps painting meanwhile and shows the views once it does.
  virtual bool ReadyToPresent() { return true; }
  // Said before Pixels(): the host will paint these boxes whole before its
  // next Present, so what they show need not be kept.  A backend that
  // brings a second buffer up to date before handing it out skips them.
  virtual void WillRepaint(std::span<const drawing::Box> boxes) { (void)boxes; }

  // Full screen on and off (a window of its own only), and whether the
  // window covers its monitor now, by our asking or the window manager's.
  virtual void SetFullScreen(bool on) = 0;
  virtual bool FullScreen() = 0;

  // Waits until the display has something to say, `wakeFd` is readable or
  // `timeoutMs` (negative: no limit) has passed.
  virtual void Wait(int wakeFd, int timeoutMs) = 0;
  // Reads what the display said into `events`.  Throws Exception for an
  // error the program cannot get over (one line naming the display or the
  // request and the window).
  virtual void Dispatch(std::vector<Event>& events) = 0;

  // Shows the message where a box can show; false where none can.
  virtual bool ShowError(const std::string& title, const std::string& message) = 0;

  // Lets go of the window: a host window or the root gets its own
  // background back.  From here on errors about what goes are dropped.
  virtual void Close() = 0;
};

// Connects to the display the environment names: Wayland inside a Wayland
// session (WAYLAND_DISPLAY set), else X11 (DISPLAY); RAIN_BACKEND=x11 or
// RAIN_BACKEND=wayland forces one.  `x11Only` for presentations that are X11
// windows by nature (a host window).  Falls back to X11 when Wayland cannot
// be had and DISPLAY is set.  Throws Exception saying, in the user's words,
// why no display can be had ("DISPLAY is not set", "cannot open the display
// ':1'", "out of memory").
std::unique_ptr<Backend> Connect(bool x11Only);

}  // namespace platform
