// The X11 display through SDL's X11 driver: one object holding the window,
// its surface, SDL's connection and what the server said.

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "drawing/exception.h"
#include "platform/x11/connect.h"
#include "platform/x11/x11.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using drawing::Pixel;

std::string SdlError() { return SDL_GetError(); }

// Whether the window surface's pixels are laid out as the canvas's
// 0x00RRGGBB, so the canvas can paint on them directly.  Not on a surface
// with alpha (a window of depth 32), which the canvas's zero top byte would
// make transparent under a compositor.
bool CanvasCanPaintOn(const SDL_Surface* surface) {
  return surface->format->format == SDL_PIXELFORMAT_RGB888 && surface->pitch % 4 == 0;
}

// SDL keeps a copy of the icon, so the bitmap may go afterwards.
void SetIcon(SDL_Window* window, const TBitmap& icon) {
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormatFrom(const_cast<Pixel*>(icon.Row(0)), icon.width(), icon.height(), 32,
                                         icon.width() * 4, SDL_PIXELFORMAT_XRGB8888);
  if (surface == nullptr) throw Exception("Cannot make the window's icon: " + SdlError());
  SDL_SetWindowIcon(window, surface);
  SDL_FreeSurface(surface);
}

// The keys that do something, as SDL names them.
constexpr std::pair<Key, SDL_Keycode> kActionKeys[] = {
    {Key::kQ, SDLK_q}, {Key::kW, SDLK_w}, {Key::kEscape, SDLK_ESCAPE}, {Key::kF11, SDLK_F11},
    // + is = with Shift on many keyboards, and both have the keypad's too.
    {Key::kM, SDLK_m}, {Key::kPlus, SDLK_PLUS}, {Key::kPlus, SDLK_EQUALS}, {Key::kPlus, SDLK_KP_PLUS},
    {Key::kMinus, SDLK_MINUS}, {Key::kMinus, SDLK_KP_MINUS}};

Key KeyOf(SDL_Keycode code) {
  for (const auto& [key, sdl] : kActionKeys)
    if (sdl == code) return key;
  return Key::kOther;
}

Modifiers ModifiersOf(Uint16 mod) {
  return {.ctrl = (mod & KMOD_CTRL) != 0, .shift = (mod & KMOD_SHIFT) != 0, .alt = (mod & KMOD_ALT) != 0,
          .logo = (mod & KMOD_GUI) != 0};
}

Event Said(Event::Kind kind) {
  Event event;
  event.kind = kind;
  return event;
}

}  // namespace

X11Backend::X11Backend() {
  HandleErrors();  // first: SDL hands on the X errors it does not expect to the handler it finds
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Only real displays: without one SDL would quietly pick its invisible
  // "offscreen" driver and the program would run unseen.  An SDL_VIDEODRIVER
  // setting in the environment still takes precedence.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  // A desktop animation must not keep the screen saver away.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Nor switch off the desktop's compositor while it runs.
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_APP_NAME, "Rain");
  // SDL 2.26 takes the window class from this, or else from the
  // executable's file name; the desktop entry's StartupWMClass names it.
  setenv("SDL_VIDEO_X11_WMCLASS", "rain", 1);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    const bool chosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
    throw Exception("Cannot open a window: " + (chosen ? SdlError() : WhyNoDisplay(SdlError())));
  }
  // The raw X events of our windows and of a host window.
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  // On X11 the window surface goes through shared memory (XShm).  Left to
  // itself SDL would put it through OpenGL, which without a graphics driver
  // means a software renderer costing many times the CPU.  A driver without
  // a window surface of its own (Wayland in SDL 2.26) needs SDL's default.
  if (std::string(SDL_GetCurrentVideoDriver()) != "wayland") SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
}

X11Backend::~X11Backend() {
  // SDL would wait forever to see a window another program destroyed go
  // unmapped; the server frees all of ours once the process ends.
  if (!destroyedOwn_) {
    deep_.reset();  // its graphics context goes over SDL's connection
    if (window_ != nullptr) SDL_DestroyWindow(window_);
    SDL_Quit();
  }
  if (live_ == this) live_ = nullptr;
}

int X11Backend::Scale() const {
  return presentation_.kind == Presentation::kWindow ? std::clamp(presentation_.scale, 1, 16) : 1;
}

void X11Backend::LookUpX11() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window_, &info) || info.subsystem != SDL_SYSWM_X11) return;
  display_ = info.info.x11.display;
  xwindow_ = info.info.x11.window;
}

// Where the client area goes, inside a frame of these borders: the look's
// place times the scale.  A window enlarged by a scale is moved in where it
// would reach past the usable area of its screen, so none of it opens out of
// sight; at scale 1 the place stands as written.
SDL_Point X11Backend::ClientPlace(int top, int left, int bottom, int right) const {
  const int scale = Scale();
  SDL_Point place{look_.place.x * scale, look_.place.y * scale};
  SDL_Rect usable;
  if (scale == 1 || SDL_GetDisplayUsableBounds(std::max(SDL_GetPointDisplayIndex(&place), 0), &usable) != 0)
    return place;
  place.x = std::max(std::min(place.x, usable.x + usable.w - look_.client.width * scale - right), usable.x + left);
  place.y = std::max(std::min(place.y, usable.y + usable.h - look_.client.height * scale - bottom), usable.y + top);
  return place;
}

void X11Backend::Open(const WindowLook& look, const Presentation& presentation) {
  look_ = look;
  presentation_ = presentation;
  if (Guest()) {
    // Another program owns the window: it is neither shown nor decorated here.
    Adopt(presentation.kind == Presentation::kRoot ? 0 : presentation.hostWindow);
  } else {
    const SDL_Point place = ClientPlace(0, 0, 0, 0);
    window_ = SDL_CreateWindow(look.caption.c_str(), place.x, place.y, look.client.width * Scale(),
                               look.client.height * Scale(), SDL_WINDOW_HIDDEN);
    if (window_ == nullptr) throw Exception("Cannot create a window: " + SdlError());
    LookUpX11();
    if (look.icon != nullptr) SetIcon(window_, *look.icon);
    if (display_ != nullptr) SetFrameButtons(display_, xwindow_, look.minimizeButton);
    if (display_ != nullptr && presentation.kind == Presentation::kFullScreen) {
      // The monitor the user is at, whether or not a window manager runs,
      // asked while the window is still hidden.
      const drawing::Box monitor = MonitorAt(display_, Pointer(display_));
      SDL_SetWindowPosition(window_, monitor.x, monitor.y);
      SDL_SetWindowSize(window_, monitor.width, monitor.height);
      platform::SetFullScreen(display_, xwindow_, true, monitor, {});
    }
  }
  if (display_ != nullptr) {
    // The server is to say when the window is wholly covered and uncovered.
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display_, xwindow_, &attributes))
      XSelectInput(display_, xwindow_, attributes.your_event_mask | VisibilityChangeMask);
    root_ = Guest() && xwindow_ == DefaultRootWindow(display_);
    if (root_) WatchMonitors();
  }
  TakeSurface();
  if (!Guest()) SDL_ShowWindow(window_);
}

// SDL replaces the surface when the window changes size.
void X11Backend::TakeSurface() {
  if (deep_ == nullptr) surface_ = SDL_GetWindowSurface(window_);
  if (surface_ == nullptr && deep_ == nullptr && display_ != nullptr) deep_ = DeepColorWindow::Of(display_, xwindow_);
  if (surface_ == nullptr && deep_ == nullptr) throw Exception("Cannot draw in the window: " + SdlError());
  if (surface_ != nullptr) size_ = {surface_->w, surface_->h};
  else SDL_GetWindowSize(window_, &size_.width, &size_.height);
  // A new vector, not a resized one: the memory follows the current size,
  // and a host window that was huge for a moment does not keep it.
  const bool inPlace = surface_ != nullptr && CanvasCanPaintOn(surface_);
  shadow_ = std::vector<Pixel>(inPlace ? 0 : static_cast<std::size_t>(size_.width) * size_.height);
  fullScreen_ = presentation_.kind == Presentation::kFullScreen ||
                (!Guest() && display_ != nullptr && InFullScreenState(display_, xwindow_));
}

std::vector<Area> X11Backend::Areas() {
  if (surface_ == nullptr && deep_ == nullptr) return {};
  const drawing::Box whole{0, 0, size_.width, size_.height};
  const bool fills = Guest() || fullScreen_;
  std::vector<Area> areas;
  monitors_ = root_ ? Monitors(display_) : std::vector<drawing::Box>{};
  monitorsChecked_ = Clock::now();
  for (const drawing::Box& monitor : monitors_)
    if (const drawing::Box area = drawing::Intersection(monitor, whole); area.width > 0) areas.push_back({area, fills});
  if (areas.empty()) areas.push_back({whole, fills});
  return areas;
}

drawing::Surface X11Backend::Pixels() {
  if (!shadow_.empty()) return {shadow_.data(), size_.width, size_.height, size_.width};
  if (surface_ == nullptr) return {};
  return {static_cast<Pixel*>(surface_->pixels), surface_->w, surface_->h, surface_->pitch / 4};
}

void X11Backend::ConvertShadow(const SDL_Rect& box) {
  const int bytes = surface_->format->BytesPerPixel;
  const Pixel* from = shadow_.data() + static_cast<std::ptrdiff_t>(box.y) * surface_->w + box.x;
  auto* to = static_cast<unsigned char*>(surface_->pixels) + static_cast<std::ptrdiff_t>(box.y) * surface_->pitch +
             static_cast<std::ptrdiff_t>(box.x) * bytes;
  SDL_ConvertPixels(box.w, box.h, SDL_PIXELFORMAT_RGB888, from, surface_->w * 4, surface_->format->format, to,
                    surface_->pitch);
}

// Shows `boxes` of the pixels; false when SDL let the surface go with a
// change of the window.
bool X11Backend::Show(std::span<const drawing::Box> boxes) {
  if (deep_ != nullptr) deep_->Show(Pixels(), boxes);
  if (surface_ == nullptr) return true;
  std::vector<SDL_Rect> rects;
  for (const drawing::Box& box : boxes) rects.push_back({box.x, box.y, box.width, box.height});
  // Only what changed is converted: a frame changes a fraction of a large
  // host window.
  if (!shadow_.empty())
    for (const SDL_Rect& rect : rects) ConvertShadow(rect);
  return SDL_UpdateWindowSurfaceRects(window_, rects.data(), static_cast<int>(rects.size())) == 0;
}

void X11Backend::Present(std::span<const drawing::Box> changed) {
  if (Show(changed)) {
    presentFailed_ = false;
    return;
  }
  // The areas are laid out on the new surface and painted again.
  if (std::exchange(presentFailed_, true)) throw Exception("Cannot show the window: " + SdlError());
  TakeSurface();
  areasChanged_ = true;
}

void X11Backend::SetFullScreen(bool on) {
  if (display_ == nullptr || presentation_.kind != Presentation::kWindow) return;
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(window_, &x, &y);
  SDL_GetWindowSize(window_, &width, &height);
  if (!fullScreen_) windowed_ = {x, y, width, height};
  // The monitor that holds most of the window: the one its centre is on.
  const drawing::Box monitor = MonitorAt(display_, {x + width / 2, y + height / 2});
  platform::SetFullScreen(display_, xwindow_, on, monitor, windowed_);
}

void X11Backend::Wait(int wakeFd, int timeoutMs) {
  // Monitors that are off say nothing when they come back on.
  if (monitorsOff_) timeoutMs = timeoutMs < 0 ? 1000 : std::min(timeoutMs, 1000);
  if (display_ == nullptr) {
    // Under another SDL driver SDL waits, and a signal is seen at the
    // latest after a quarter of a second.
    SDL_WaitEventTimeout(nullptr, timeoutMs < 0 ? 250 : std::min(timeoutMs, 250));
    return;
  }
  // Flushes what we asked for, and reads what already came: an event Xlib
  // holds would not wake the poll.
  if (XEventsQueued(display_, QueuedAfterFlush) > 0 || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return;
  pollfd waits[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakeFd, POLLIN, 0}};
  poll(waits, wakeFd >= 0 ? 2 : 1, timeoutMs);
}

void X11Backend::Dispatch(std::vector<Event>& events) {
  if (std::exchange(areasChanged_, false)) events.push_back(Said(Event::kAreasChanged));
  SDL_Event event;
  while (SDL_PollEvent(&event)) Translate(event, events);
  CheckErrors();
  if (foreignWindowGone_) {
    events.push_back(Said(Event::kHostGone));
    return;
  }
  if (window_ == nullptr) return;
  PlaceClientArea();
  FollowState();
  FollowMonitors(events);
  CheckSeen(events);
}

void X11Backend::Translate(const SDL_Event& event, std::vector<Event>& events) {
  const std::uint32_t ours = window_ != nullptr ? SDL_GetWindowID(window_) : 0;
  switch (event.type) {
    case SDL_QUIT: events.push_back(Said(Event::kCloseAsked)); return;  // the session asked us to end
    case SDL_SYSWMEVENT: NoteEvent(*event.syswm.msg); return;
    case SDL_WINDOWEVENT:
      if (event.window.windowID != ours) return;
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: events.push_back(Said(Event::kCloseAsked)); return;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          TakeSurface();
          events.push_back(Said(Event::kAreasChanged));
          return;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        {
          Event focus = Said(Event::kFocus);
          for (const auto& [key, sdl] : kActionKeys)
            if (display_ != nullptr && KeyHeld(display_, sdl)) focus.held.push_back(key);
          events.push_back(std::move(focus));
          return;
        }
        // An uncovered window shows what was last presented, which the
        // surface (or the shadow) still holds.
        case SDL_WINDOWEVENT_EXPOSED:
        {
          const drawing::Box whole{0, 0, size_.width, size_.height};
          if (!Show(std::span(&whole, 1))) {
            TakeSurface();
            events.push_back(Said(Event::kAreasChanged));
          }
          return;
        }
        default: return;
      }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (event.key.windowID != ours) return;
    {
      Event key = Said(event.type == SDL_KEYDOWN ? Event::kKeyDown : Event::kKeyUp);
      key.key = KeyOf(event.key.keysym.sym);
      key.repeat = event.key.repeat != 0;
      key.modifiers = ModifiersOf(event.key.keysym.mod);
      events.push_back(std::move(key));
      return;
    }
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.windowID == ours && event.button.button == SDL_BUTTON_LEFT) leftButtonDown_ = true;
      return;
    case SDL_MOUSEBUTTONUP:
      // A click is a press and a release of the left button over the window.
      if (event.button.windowID == ours && event.button.button == SDL_BUTTON_LEFT && leftButtonDown_) {
        leftButtonDown_ = false;
        if (drawing::Box{0, 0, size_.width, size_.height}.Contains({event.button.x, event.button.y}))
          events.push_back(Said(Event::kClick));
      }
      return;
    default: return;
  }
}

// With a window manager the position given when the window is made places
// the frame; once the frame's extents are known, the client area moves to
// where the look puts it.
void X11Backend::PlaceClientArea() {
  if (placed_ || presentation_.kind != Presentation::kWindow || fullScreen_) return;
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) != 0) {
    placed_ = true;  // the driver cannot tell; leave it where it is
    return;
  }
  if (top == 0 && left == 0) return;  // not known yet, or no frame at all
  const SDL_Point place = ClientPlace(top, left, bottom, right);
  SDL_SetWindowPosition(window_, place.x, place.y);
  placed_ = true;
}

// Follows the window manager's full screen: a window of fixed size may grow
// while it covers the screen.
void X11Backend::FollowState() {
  if (presentation_.kind != Presentation::kWindow || !std::exchange(stateChanged_, false)) return;
  const drawing::Size windowed{look_.client.width * Scale(), look_.client.height * Scale()};
  fullScreen_ = InFullScreenState(display_, xwindow_);
  HoldSize(display_, xwindow_, fullScreen_ ? nullptr : &windowed);
  XFlush(display_);
}

// RandR tells of outputs that change; monitors set by hand (xrandr
// --setmonitor) may come without a word, so they are asked after at most a
// second.
void X11Backend::FollowMonitors(std::vector<Event>& events) {
  if (!root_) return;
  const auto now = Clock::now();
  if (!std::exchange(monitorsChanged_, false) && now - monitorsChecked_ < std::chrono::seconds(1)) return;
  monitorsChecked_ = now;
  if (Monitors(display_) != monitors_) events.push_back(Said(Event::kAreasChanged));
}

void X11Backend::CheckSeen(std::vector<Event>& events) {
  const Uint32 flags = SDL_GetWindowFlags(window_);
  bool seen = (flags & SDL_WINDOW_SHOWN) != 0 && (flags & SDL_WINDOW_MINIMIZED) == 0 && !covered_;
  // Monitors send no news when they go off or on: asked at most once a
  // second, and only when nothing else hides the window.
  const auto now = Clock::now();
  if (!seen) {
    monitorsOff_ = false;
  } else if (now - monitorsAsked_ >= std::chrono::seconds(1)) {
    monitorsOff_ = display_ != nullptr && MonitorsOff(display_);
    monitorsAsked_ = now;
  }
  seen = seen && !monitorsOff_;
  if (seen == seen_) return;
  seen_ = seen;
  events.push_back(Said(seen ? Event::kSeen : Event::kUnseen));
}

void X11Backend::Close() {
  // What the window's going away makes the server say is no news now, nor
  // that a host window is gone already.
  ending_ = true;
  if (window_ == nullptr || destroyedOwn_) return;
  if (Guest()) Release();
  deep_.reset();
  SDL_DestroyWindow(window_);
  window_ = nullptr;
  surface_ = nullptr;
  display_ = nullptr;
}

std::unique_ptr<Backend> ConnectX11() {
  auto backend = std::make_unique<X11Backend>();
  // Under a driver that draws nowhere the animation would run unseen, so
  // such a start fails as one without a display does.
  const std::string driver = SDL_GetCurrentVideoDriver();
  if (driver == "dummy" || driver == "evdev" || driver == "offscreen")
    throw Exception("Cannot open a window: the video driver \"" + driver +
                    "\" shows nothing on a screen (unset SDL_VIDEODRIVER)");
  return backend;
}

}  // namespace platform
