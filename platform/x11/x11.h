// The X11 backend's own header, for the files of this folder and its test:
// the backend object, which holds SDL's connection and everything the
// server said, and the plain requests it makes over that connection.

#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/geometry.h"
#include "drawing/pixel_format.h"
#include "platform/backend.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace platform {

// A window of a depth SDL lays out no surface for: a deep-colour screen
// keeps 10 bits a channel (depth 30), which SDL 2.26 knows no format of.
// Its pixels go to the server through an image of our own.
class DeepColorWindow {
 public:
  // For a window whose visual holds more than 8 bits a channel in 32-bit
  // pixels; nullptr for any other.
  static std::unique_ptr<DeepColorWindow> Of(Display* display, Window window);
  ~DeepColorWindow() { XFreeGC(display_, gc_); }
  DeepColorWindow(const DeepColorWindow&) = delete;
  DeepColorWindow& operator=(const DeepColorWindow&) = delete;

  // Shows `boxes` of `pixels`, which is the window's size, in the window.
  void Show(const drawing::Surface& pixels, std::span<const drawing::Box> boxes);

 private:
  DeepColorWindow(Display* display, Window window, int depth, drawing::ChannelMasks masks)
      : display_(display), window_(window), depth_(depth), gc_(XCreateGC(display, window, 0, nullptr)), masks_(masks) {}
  Display* display_;
  Window window_;
  int depth_;
  GC gc_;
  drawing::ChannelMasks masks_;
  std::vector<std::uint32_t> row_;  // one box converted, reused from present to present
};

class X11Backend final : public Backend {
 public:
  X11Backend();
  ~X11Backend() override;

  std::string Name() const override { return "x11"; }
  Desktop DescribeDesktop() override;
  void Open(const WindowLook& look, const Presentation& presentation) override;
  std::vector<Area> Areas() override;
  drawing::Surface Pixels() override;
  void Present(std::span<const drawing::Box> changed) override;
  void SetFullScreen(bool on) override;
  bool FullScreen() override { return fullScreen_; }
  void Wait(int wakeFd, int timeoutMs) override;
  void Dispatch(std::vector<Event>& events) override;
  bool ShowError(const std::string& title, const std::string& message) override;
  void Close() override;

  // Runs `check` with the X errors it causes caught; true when it failed.
  // The errors reach us through the process-wide handler, which Xlib allows
  // one of, so the handler finds the live backend through one static.
  template <typename Check>
  static bool Fails(Display* display, Check check) {
    bool failed = false;
    XSync(display, False);
    live_->trappedError_ = &failed;
    check();
    XSync(display, False);
    live_->trappedError_ = nullptr;
    return failed;
  }

 private:
  bool Guest() const {
    return presentation_.kind == Presentation::kRoot || presentation_.kind == Presentation::kHostWindow;
  }
  int Scale() const;
  void LookUpX11();
  SDL_Point ClientPlace(int top, int left, int bottom, int right) const;
  void TakeSurface();
  void ConvertShadow(const SDL_Rect& box);
  bool Show(std::span<const drawing::Box> boxes);
  void Translate(const SDL_Event& event, std::vector<Event>& events);
  void PlaceClientArea();
  void FollowState();
  void FollowMonitors(std::vector<Event>& events);
  void CheckSeen(std::vector<Event>& events);

  // Adopts the X11 window `window` (0: the root window), which another
  // program made and keeps: the SDL window follows its size changes and
  // exposures, takes no input from it, and never shows, hides or decorates
  // it.  Throws Exception naming the window when there is none, or none that
  // can be drawn in (an input-only window, a pixmap).
  void Adopt(unsigned long window);
  // What we painted goes back to the window's own background (the owner is
  // told to repaint what it drew there), and its events are no longer ours.
  void Release();
  // Reads the raw X events SDL passes on: destruction, covering, the
  // window's state, the monitors.
  void NoteEvent(const SDL_SysWMmsg& message);
  // Asks the server to say when monitors are added, removed or moved.
  void WatchMonitors();

  // Xlib's own handlers print a dump of several lines and exit(), whose
  // static destructors would tear windows down over a connection that may
  // be dead.  Instead a broken connection ends the process at once with
  // status 1 and one line; an X error is kept, and Dispatch asks CheckErrors
  // after every round, which either finds it explained (the host window
  // went away) or raises it as one line.
  void HandleErrors();
  void CheckErrors();
  static int NoteError(Display* display, XErrorEvent* error);
  static int EndOnLostDisplay(Display* display);
  static X11Backend* live_;

  SDL_Window* window_ = nullptr;
  // SDL's connection and the X window drawn in, asked once the window is
  // had; null on SDL's other drivers, where nothing of X11 is asked.
  Display* display_ = nullptr;
  Window xwindow_ = 0;
  SDL_Surface* surface_ = nullptr;  // null for a deep-colour window
  std::unique_ptr<DeepColorWindow> deep_;
  drawing::Size size_;  // of the window's pixels
  // Used only when the window surface is not laid out as the canvas: the
  // host paints here and each present converts into the surface.
  std::vector<drawing::Pixel> shadow_;
  WindowLook look_;
  Presentation presentation_;
  bool root_ = false;
  bool placed_ = false;      // client area moved to where the look puts it
  bool fullScreen_ = false;  // covers its monitor
  drawing::Box windowed_;    // the client area before full screen, in root coordinates
  bool seen_ = true;
  bool monitorsOff_ = false;
  std::chrono::steady_clock::time_point monitorsAsked_;  // at most once a second
  // The root window's monitors the areas were made of, and when they were
  // last compared with the server's.
  std::vector<drawing::Box> monitors_;
  std::chrono::steady_clock::time_point monitorsChecked_;
  bool leftButtonDown_ = false;
  bool areasChanged_ = false;  // said at the next Dispatch
  bool presentFailed_ = false;

  // What the server said.  Only this thread talks to the display, and Xlib
  // calls the error handler on it, so plain values do; the handler may not
  // talk to the server itself: it notes what happened and the loop looks.
  bool ending_ = false;  // errors about what we let go are expected and dropped
  Window foreignWindow_ = 0;  // another program's window drawn in
  bool foreignWindowGone_ = false;
  std::optional<XErrorEvent> pending_;  // the first X error nothing has looked at yet
  // Our own window destroyed by someone else, noticed from its DestroyNotify
  // or from the errors of drawing in it.  SDL cannot take such a window
  // down: it would wait forever to see it unmapped.
  bool destroyedOwn_ = false;
  Window destroyedOwnWindow_ = 0;
  bool covered_ = false;       // wholly, as VisibilityNotify last said; never with a compositor
  bool stateChanged_ = false;  // _NET_WM_STATE, since FollowState looked
  int randrEvents_ = -1;       // RandR's first event code, once watched
  bool monitorsChanged_ = false;
  bool* trappedError_ = nullptr;  // while set, errors go here: our own checks of a window
};

// --- Plain requests -----------------------------------------------------

// "0x1a00003"
std::string WindowName(unsigned long window);

// The monitors of the first screen in root window coordinates: RandR 1.5's
// list (which holds monitors made with `xrandr --setmonitor`), or the whole
// screen when the server has no such list.
std::vector<drawing::Box> Monitors(Display* display);
// The monitor that holds `point`, or the first.
drawing::Box MonitorAt(Display* display, drawing::Point point);
// Where the mouse pointer is, in root window coordinates.
drawing::Point Pointer(Display* display);
// Whether the monitors are switched off (DPMS).  The server sends no news
// of it, so it must be asked; false where it cannot say.
bool MonitorsOff(Display* display);
// Whether the key whose SDL keycode is `key` (a letter, Escape or a function
// key) is held down on the keyboard now, wherever it was pressed.
bool KeyHeld(Display* display, SDL_Keycode key);

// Why SDL could not start its X11 video driver, in the user's words: no
// DISPLAY, a display that cannot be opened (named), or too little memory.
std::string WhyNoDisplay(const std::string& sdlError);

// Asks the window manager for a window of fixed size with a close button and
// a minimise button if `minimize`.  SDL only fixes the size, which leaves
// most window managers showing a maximise button that does nothing.
void SetFrameButtons(Display* display, Window window, bool minimize);
// Full screen on the window's own terms.  A window manager is asked through
// the window's state (_NET_WM_STATE_FULLSCREEN) and sizes the window to its
// monitor; without one, the window is moved and sized to `monitor` itself,
// and back to `windowed` (client area in root coordinates).  Either way the
// size hints let it grow while it covers the screen and hold it to
// `windowed`'s size afterwards.  Before the window is mapped only the state
// is set, as the window manager reads it when it maps the window.
void SetFullScreen(Display* display, Window window, bool on, drawing::Box monitor, drawing::Box windowed);
// Whether the window's state says it covers the screen, by our asking or by
// the window manager's own doing.
bool InFullScreenState(Display* display, Window window);
// Lets the window manager give the window any size (nullptr), or holds it
// to `size`: a window of fixed size is not grown to full screen otherwise.
void HoldSize(Display* display, Window window, const drawing::Size* size);

}  // namespace platform
