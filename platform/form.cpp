#include "platform/form.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "drawing/scale.h"
#include "imaging/bmp.h"
#include "platform/keys.h"
#include "platform/timer.h"
#include "platform/x11/deep_color.h"
#include "platform/x11/x11.h"

using drawing::Pixel;
using drawing::ToPixel;

namespace {

std::string SdlError() { return SDL_GetError(); }

// The shade a colour of a window description paints with.
Pixel PaintPixel(TColor color) { return ToPixel(color == clBtnFace ? 0xF0F0F0 : color); }

// Whether the window surface's pixels are laid out as the canvas's
// 0x00RRGGBB, so the canvas can paint on them directly.  Not on a surface
// with alpha (a window of depth 32), which the canvas's zero top byte would
// make transparent under a compositor.
bool CanvasCanPaintOn(const SDL_Surface* surface) {
  return surface->format->format == SDL_PIXELFORMAT_RGB888 && surface->pitch % 4 == 0;
}

// Gives the window the program's icon, if the image carries one.  SDL keeps
// a copy, so the bitmap may go afterwards.
void SetIcon(SDL_Window* window) {
  if (!HInstance->Contains(imaging::ResourceType::Icon, "MAINICON")) return;
  TBitmap icon;
  imaging::LoadBmp(icon, HInstance->Find(imaging::ResourceType::Icon, "MAINICON"));
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(icon.MutableRow(0), icon.width(), icon.height(), 32,
                                                            icon.width() * 4, SDL_PIXELFORMAT_XRGB8888);
  if (surface == nullptr) throw Exception("Cannot make the window's icon: " + SdlError());
  SDL_SetWindowIcon(window, surface);
  SDL_FreeSurface(surface);
}

// The keys that do something, as SDL names them.
constexpr std::pair<platform::Key, SDL_Keycode> kActionKeys[] = {
    {platform::Key::kQ, SDLK_q}, {platform::Key::kW, SDLK_w},
    {platform::Key::kEscape, SDLK_ESCAPE}, {platform::Key::kF11, SDLK_F11},
    // + is = with Shift on many keyboards, and both have the keypad's too.
    {platform::Key::kM, SDLK_m},           {platform::Key::kPlus, SDLK_PLUS},
    {platform::Key::kPlus, SDLK_EQUALS},   {platform::Key::kPlus, SDLK_KP_PLUS},
    {platform::Key::kMinus, SDLK_MINUS},   {platform::Key::kMinus, SDLK_KP_MINUS}};

platform::Key KeyOf(SDL_Keycode code) {
  for (const auto& [key, sdl] : kActionKeys)
    if (sdl == code) return key;
  return platform::Key::kOther;
}

platform::Modifiers ModifiersOf(Uint16 mod) {
  return {.ctrl = (mod & KMOD_CTRL) != 0, .shift = (mod & KMOD_SHIFT) != 0, .alt = (mod & KMOD_ALT) != 0,
          .logo = (mod & KMOD_GUI) != 0};
}

// Where a form's client area goes, inside a frame of these borders: (Left,
// Top) times the scale.  A window enlarged by a scale is moved in where it
// would reach past the usable area of its screen, so none of it opens out of
// sight; at scale 1 the description's place stands as written.
SDL_Point ClientPlace(const TForm& form, int scale, int top, int left, int bottom, int right) {
  SDL_Point place{form.Left * scale, form.Top * scale};
  SDL_Rect usable;
  if (scale == 1 || SDL_GetDisplayUsableBounds(std::max(SDL_GetPointDisplayIndex(&place), 0), &usable) != 0)
    return place;
  place.x = std::max(std::min(place.x, usable.x + usable.w - form.ClientWidth * scale - right), usable.x + left);
  place.y = std::max(std::min(place.y, usable.y + usable.h - form.ClientHeight * scale - bottom), usable.y + top);
  return place;
}

}  // namespace

// A view and what paints it.
struct PaintedView {
  platform::View shown;
  std::unique_ptr<TCanvas> ownCanvas;  // for the views after the first, which paints through Canvas
  // The view off screen, when the area does not show it pixel for pixel.
  std::optional<drawing::ScaledView> scaled;
};

struct TForm::Window {
  platform::X11Connection* x11 = nullptr;
  SDL_Window* handle = nullptr;
  SDL_Surface* surface = nullptr;  // null for a deep-colour window
  std::unique_ptr<platform::DeepColorWindow> deep;
  drawing::Size size;  // of the surface
  // Used only when the window surface is not laid out as the canvas: the
  // canvas paints here and each present converts into the surface.
  std::vector<Pixel> shadow;
  std::vector<PaintedView> views;
  bool surroundChanged = true;  // present the whole surface, not just the views' boxes
  std::uint64_t presentedVersion = 0;
  bool shown = false;
  bool placed = false;        // client area moved to Left, Top
  bool fullScreen = false;    // covers its monitor
  drawing::Box windowed;      // the client area before F11, in root coordinates
  bool seen = true;  // until the server says otherwise
  bool monitorsOff = false;
  std::chrono::steady_clock::time_point monitorsAsked;  // at most once a second
  // The root window's monitors the views were laid out for, and when they
  // were last compared with the server's.
  std::vector<drawing::Box> monitors;
  std::chrono::steady_clock::time_point monitorsChecked;
  bool leftButtonDown = false;
  platform::KeyRule keys{platform::Presentation::kWindow};

  drawing::Surface Target();
  // Converts `box` of the shadow into the surface's own layout.
  void ConvertShadow(const SDL_Rect& box);

  ~Window() {
    if (handle == nullptr) return;
    if ((SDL_GetWindowFlags(handle) & SDL_WINDOW_FOREIGN) != 0) x11->ReleaseForeignWindow(handle);
    SDL_DestroyWindow(handle);
  }
};

TForm::TForm(TComponent* owner, std::string_view className, platform::PublishedHandlers handlers,
             HINSTANCE instance)
    : TComponent(owner) {
  const auto bytes = instance->Find(imaging::ResourceType::RCData, className);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string upper(className);
  std::ranges::transform(upper, upper.begin(), [](unsigned char c) { return std::toupper(c); });
  const platform::FormDescription form = platform::ReadDescription(className, text, upper, handlers);
  Name = form.name;
  Left = form.left;
  Top = form.top;
  ClientWidth = form.clientWidth;
  ClientHeight = form.clientHeight;
  Caption = form.caption;
  BorderIcons = form.borderIcons;
  BorderStyle = form.borderStyle;
  Color = form.color;
  OnClick = form.onClick;
  for (const platform::TimerDescription& described : form.timers) {
    auto* timer = new TTimer(this);  // owned by the form from here on
    timer->Name = described.name;
    timer->SetInterval(described.interval);
    timer->SetOnTimer(described.onTimer);
  }
}

TForm::~TForm() {
  // The timers first, so none fires into a form that is half gone.
  DestroyComponents();
}

bool TForm::Visible() const { return window_ != nullptr && window_->shown; }

SDL_Window* TForm::Handle() const { return window_ != nullptr ? window_->handle : nullptr; }

std::uint32_t TForm::WindowId() const { return window_ != nullptr ? SDL_GetWindowID(window_->handle) : 0; }

void TForm::Show() {
  if (Visible()) return;
  const bool foreign = Guest();
  if (window_ == nullptr) {
    auto window = std::make_unique<Window>();
    window->x11 = x11_;
    if (foreign) {
      // Another program owns the window: it is neither shown nor decorated here.
      window->handle = x11_->AdoptForeignWindow(
          Presentation.kind == platform::Presentation::kRoot ? 0 : Presentation.hostWindow);
    } else {
      const bool sizeable = BorderStyle == bsSizeable;
      const int scale = WindowScale();
      SDL_Rect rect{0, 0, ClientWidth * scale, ClientHeight * scale};
      const SDL_Point place = ClientPlace(*this, scale, 0, 0, 0, 0);
      std::tie(rect.x, rect.y) = std::pair(place.x, place.y);
      window->handle = SDL_CreateWindow(Caption.c_str(), rect.x, rect.y, rect.w, rect.h,
                                        SDL_WINDOW_HIDDEN | (sizeable ? SDL_WINDOW_RESIZABLE : 0));
      if (window->handle == nullptr) throw Exception("Cannot create a window: " + SdlError());
      if (Presentation.kind == platform::Presentation::kFullScreen) {
        // The monitor the user is at, whether or not a window manager runs,
        // asked over the window's own connection while it is still hidden.
        const drawing::Box monitor = platform::MonitorHoldingPointer(window->handle);
        if (monitor.width > 0) {
          rect = {monitor.x, monitor.y, monitor.width, monitor.height};
          SDL_SetWindowPosition(window->handle, rect.x, rect.y);
          SDL_SetWindowSize(window->handle, rect.w, rect.h);
        }
      }

      SetIcon(window->handle);
      platform::SetFrameButtons(window->handle, {.systemMenu = BorderIcons.contains(biSystemMenu),
                                                 .minimize = BorderIcons.contains(biMinimize),
                                                 .maximize = BorderIcons.contains(biMaximize),
                                                 .sizeable = sizeable});
      if (Presentation.kind == platform::Presentation::kFullScreen)
        platform::SetFullScreen(window->handle, true, {rect.x, rect.y, rect.w, rect.h}, {});
    }
    platform::WatchCovering(window->handle);
    if (foreign && platform::IsRootWindow(window->handle)) x11_->WatchMonitors(window->handle);
    window->keys = platform::KeyRule(Presentation.kind);
    window_ = std::move(window);
    AttachSurface();
  }
  if (!foreign) SDL_ShowWindow(window_->handle);
  window_->shown = true;
  Present();
}

// A closed form is only hidden; the application frees it when it shuts down.
void TForm::Close() {
  if (onClose_) onClose_();
  if (window_ != nullptr && window_->shown) {
    SDL_HideWindow(window_->handle);
    window_->shown = false;
  }
}

bool TForm::Guest() const {
  return Presentation.kind == platform::Presentation::kRoot || Presentation.kind == platform::Presentation::kHostWindow;
}

int TForm::WindowScale() const {
  return Presentation.kind == platform::Presentation::kWindow ? std::clamp(Presentation.scale, 1, 16) : 1;
}

void TForm::CheckSeen() {
  if (window_ == nullptr || !window_->shown) return;
  Window& window = *window_;
  const Uint32 flags = SDL_GetWindowFlags(window.handle);
  bool seen = (flags & SDL_WINDOW_SHOWN) != 0 && (flags & SDL_WINDOW_MINIMIZED) == 0 &&
              !x11_->FullyCovered(window.handle);
  // Monitors send no news when they go off or on: asked at most once a
  // second, and only when nothing else hides the window.
  const auto now = std::chrono::steady_clock::now();
  if (!seen) {
    window.monitorsOff = false;
  } else if (now - window.monitorsAsked >= std::chrono::seconds(1)) {
    window.monitorsOff = platform::MonitorsOff(window.handle);
    window.monitorsAsked = now;
  }
  seen = seen && !window.monitorsOff;
  if (seen == window.seen) return;
  window.seen = seen;
  TNotifyEvent handler = seen ? OnShow : OnHide;
  if (handler) handler(this);
}

void TForm::FollowMonitors() {
  if (window_ == nullptr || window_->monitors.empty()) return;
  // RandR tells of outputs that change; monitors set by hand (xrandr
  // --setmonitor) may come without a word, so they are asked after at most
  // a second.
  const auto now = std::chrono::steady_clock::now();
  if (!x11_->MonitorsChanged() && now - window_->monitorsChecked < std::chrono::seconds(1)) return;
  window_->monitorsChecked = now;
  if (platform::Monitors(window_->handle) != window_->monitors) AttachSurface();
}

void TForm::FollowState() {
  if (window_ == nullptr || Presentation.kind != platform::Presentation::kWindow ||
      !x11_->StateChanged(window_->handle))
    return;
  const drawing::Size windowed{ClientWidth * WindowScale(), ClientHeight * WindowScale()};
  const bool fullScreen = platform::InFullScreenState(window_->handle);
  platform::HoldSize(window_->handle, fullScreen ? nullptr : &windowed);
  window_->keys.Follow(fullScreen);
}

bool TForm::WaitsForMonitors() const { return window_ != nullptr && window_->monitorsOff; }

void TForm::SetFullScreen(bool on) {
  if (window_ == nullptr || Presentation.kind != platform::Presentation::kWindow) return;
  Window& window = *window_;
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(window.handle, &x, &y);
  SDL_GetWindowSize(window.handle, &width, &height);
  if (!window.fullScreen) window.windowed = {x, y, width, height};
  // The monitor that holds most of the window: the one its centre is on.
  const auto monitors = platform::Monitors(window.handle);
  const drawing::Point centre{x + width / 2, y + height / 2};
  const auto holding = std::ranges::find_if(monitors, [&](const drawing::Box& m) { return m.Contains(centre); });
  const drawing::Box monitor = holding != monitors.end() ? *holding
                               : monitors.empty()        ? drawing::Box{}
                                                         : monitors.front();
  platform::SetFullScreen(window.handle, on, monitor, window.windowed);
}

std::vector<platform::View> TForm::Views() const {
  std::vector<platform::View> views;
  if (window_ != nullptr)
    for (const PaintedView& view : window_->views) views.push_back(view.shown);
  return views;
}

std::uint64_t TForm::PaintedVersion() const {
  std::uint64_t version = canvas_.version();
  if (window_ != nullptr)
    for (const PaintedView& view : window_->views)
      if (view.ownCanvas) version += view.ownCanvas->version();
  return version;
}

// Where presents write: the window surface, or the shadow that stands for it.
drawing::Surface TForm::Window::Target() {
  if (!shadow.empty()) return {shadow.data(), size.width, size.height, size.width};
  return {static_cast<Pixel*>(surface->pixels), surface->w, surface->h, surface->pitch / 4};
}

void TForm::Window::ConvertShadow(const SDL_Rect& box) {
  const int bytes = surface->format->BytesPerPixel;
  const Pixel* from = shadow.data() + static_cast<std::ptrdiff_t>(box.y) * surface->w + box.x;
  auto* to = static_cast<unsigned char*>(surface->pixels) + static_cast<std::ptrdiff_t>(box.y) * surface->pitch +
             static_cast<std::ptrdiff_t>(box.x) * bytes;
  SDL_ConvertPixels(box.w, box.h, SDL_PIXELFORMAT_RGB888, from, surface->w * 4, surface->format->format, to,
                    surface->pitch);
}

namespace {

drawing::Surface AreaOf(const drawing::Surface& surface, const drawing::Box& area) {
  return {surface.pixels + static_cast<std::ptrdiff_t>(area.y) * surface.stride + area.x, area.width, area.height,
          surface.stride};
}

}  // namespace

// Lays the views out on the window's current surface: one per monitor of
// the root window, else one for the whole window; clears the surface (to
// the form's colour where a canvas paints on it, to black around views);
// and points every canvas at its view.  SDL replaces the surface when the
// window changes size.  Raises OnResize when the views changed.
void TForm::AttachSurface() {
  Window& window = *window_;
  window.surface = SDL_GetWindowSurface(window.handle);
  // SDL has no surface for 10 bits a channel: such a window is shown
  // through an image of our own.
  if (window.surface == nullptr && window.deep == nullptr) window.deep = platform::DeepColorWindow::Of(window.handle);
  if (window.surface == nullptr && window.deep == nullptr) throw Exception("Cannot draw in the window: " + SdlError());
  window.size = window.deep ? window.deep->Size() : drawing::Size{window.surface->w, window.surface->h};
  // A new vector, not a resized one: the memory follows the current size,
  // and a host window that was huge for a moment does not keep it.
  const bool inPlace = window.surface != nullptr && CanvasCanPaintOn(window.surface);
  window.shadow = std::vector<Pixel>(inPlace ? 0 : static_cast<std::size_t>(window.size.width) * window.size.height);
  const drawing::Surface target = window.Target();
  const drawing::Box whole{0, 0, window.size.width, window.size.height};

  const bool foreign = Guest();
  window.fullScreen = Presentation.kind == platform::Presentation::kFullScreen ||
                      (!foreign && platform::InFullScreenState(window.handle));
  std::vector<drawing::Box> areas;
  window.monitors.clear();
  if (foreign && platform::IsRootWindow(window.handle)) window.monitors = platform::Monitors(window.handle);
  for (const drawing::Box& monitor : window.monitors)
    if (const drawing::Box area = drawing::Intersection(monitor, whole); area.width > 0) areas.push_back(area);
  if (areas.empty()) areas.push_back(whole);

  const bool fills = foreign || window.fullScreen;
  const auto fitted = [this](drawing::Size area) {
    return drawing::Placement{{ClientWidth, ClientHeight},
                                drawing::FitView(ClientWidth, ClientHeight, area.width, area.height).box};
  };
  bool changed = window.views.size() != areas.size();
  window.views.resize(areas.size());
  drawing::FillOutside(target, {}, 0);  // what lies outside every monitor
  for (std::size_t i = 0; i < areas.size(); ++i) {
    PaintedView& view = window.views[i];
    const drawing::Size size{areas[i].width, areas[i].height};
    const drawing::Placement layout = fills && OnLayout ? OnLayout(size) : fitted(size);
    changed = changed || view.shown.area != areas[i] || view.shown.fills != fills || view.shown.placement != layout;
    if (i > 0 && !view.ownCanvas) view.ownCanvas = std::make_unique<TCanvas>();
    TCanvas& canvas = i == 0 ? canvas_ : *view.ownCanvas;
    view.shown = {areas[i], fills, layout, &canvas};
    const drawing::Surface area = AreaOf(target, areas[i]);
    if (layout.view == size && layout.box == drawing::Box{0, 0, size.width, size.height}) {
      // The view is the window's own pixels: painted in place, no copy.
      view.scaled.reset();
      canvas.Attach(area);
      drawing::FillOutside(area, {}, PaintPixel(Color));
      continue;
    }
    if (!view.scaled || view.scaled->view().width != layout.view.width ||
        view.scaled->view().height != layout.view.height) {
      view.scaled.emplace(layout.view.width, layout.view.height, PaintPixel(Color));
      canvas.Attach(view.scaled->view());
    }
    view.scaled->Fit(area, layout.box);
  }
  window.surroundChanged = true;
  window.presentedVersion = ~PaintedVersion();  // present the cleared surface
  if (changed && OnResize) {
    TNotifyEvent handler = OnResize;
    handler(this);
  }
}

void TForm::Present() {
  Window& window = *window_;
  for (int attempt = 0;; ++attempt) {
    const drawing::Surface target = window.Target();
    std::vector<SDL_Rect> boxes;
    bool whole = window.surroundChanged;
    for (PaintedView& view : window.views) {
      const drawing::Box& area = view.shown.area;
      if (!view.scaled) {
        whole = true;
        continue;
      }
      view.scaled->Show(AreaOf(target, area));
      // Between changes of the surface only the view's box changes on it.
      const drawing::Box box = view.scaled->box();
      const drawing::Box shown = drawing::Intersection({area.x + box.x, area.y + box.y, box.width, box.height}, area);
      boxes.push_back({shown.x, shown.y, shown.width, shown.height});
    }
    if (window.deep) {
      const drawing::Box all{0, 0, window.size.width, window.size.height};
      std::vector<drawing::Box> shown;
      for (const SDL_Rect& box : boxes) shown.push_back({box.x, box.y, box.w, box.h});
      window.deep->Show(target, whole ? std::span(&all, 1) : std::span<const drawing::Box>(shown));
      break;
    }
    // Only what changed is converted: a frame changes a fraction of a
    // large host window.
    if (!window.shadow.empty() && whole) window.ConvertShadow({0, 0, window.size.width, window.size.height});
    if (!window.shadow.empty() && !whole)
      for (const SDL_Rect& box : boxes) window.ConvertShadow(box);
    const int updated = whole ? SDL_UpdateWindowSurface(window.handle)
                              : SDL_UpdateWindowSurfaceRects(window.handle, boxes.data(), static_cast<int>(boxes.size()));
    if (updated == 0) break;
    // SDL invalidates the surface when the window changes; the next frame
    // paints into the new one.
    if (attempt > 0) throw Exception("Cannot show the window: " + SdlError());
    AttachSurface();
  }
  window.surroundChanged = false;
  window.presentedVersion = PaintedVersion();
}

void TForm::PresentIfChanged() {
  if (Visible() && window_->seen && window_->presentedVersion != PaintedVersion()) Present();
}

// With a window manager the position given when the window is made places
// the frame; once the frame's extents are known, move the client area to
// where the description puts it.
void TForm::PlaceClientArea() {
  if (window_ == nullptr || window_->placed) return;
  if (Presentation.kind != platform::Presentation::kWindow || window_->fullScreen) return;
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(window_->handle, &top, &left, &bottom, &right) != 0) {
    window_->placed = true;  // the driver cannot tell; leave it where it is
    return;
  }
  if (top == 0 && left == 0) return;  // not known yet, or no frame at all
  const SDL_Point place = ClientPlace(*this, WindowScale(), top, left, bottom, right);
  SDL_SetWindowPosition(window_->handle, place.x, place.y);
  window_->placed = true;
}

void TForm::HandleEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: Close(); return;
        case SDL_WINDOWEVENT_SIZE_CHANGED: AttachSurface(); return;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        {
          std::vector<platform::Key> held;
          for (const auto& [key, sdl] : kActionKeys)
            if (platform::KeyHeld(window_->handle, sdl)) held.push_back(key);
          window_->keys.Focus(held);
          return;
        }
        // No paint handler: an uncovered window shows what was last drawn.
        case SDL_WINDOWEVENT_EXPOSED:
          window_->surroundChanged = true;
          Present();
          return;
        default: return;
      }
    case SDL_KEYDOWN:
      switch (window_->keys.KeyDown(KeyOf(event.key.keysym.sym), event.key.repeat != 0,
                                    ModifiersOf(event.key.keysym.mod))) {
        case platform::KeyRule::Action::kClose: Close(); return;
        case platform::KeyRule::Action::kFullScreen: SetFullScreen(true); return;
        case platform::KeyRule::Action::kWindowed: SetFullScreen(false); return;
        case platform::KeyRule::Action::kProgram:
          if (OnKeyPress) OnKeyPress(KeyOf(event.key.keysym.sym));
          return;
        case platform::KeyRule::Action::kNothing: return;
      }
      return;
    case SDL_KEYUP: window_->keys.KeyUp(KeyOf(event.key.keysym.sym)); return;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT) window_->leftButtonDown = true;
      return;
    case SDL_MOUSEBUTTONUP:
      // A click is a press and a release of the left button over the window.
      if (event.button.button == SDL_BUTTON_LEFT && window_->leftButtonDown) {
        window_->leftButtonDown = false;
        const bool inside = event.button.x >= 0 && event.button.y >= 0 &&
                            event.button.x < window_->size.width && event.button.y < window_->size.height;
        if (inside && OnClick) {
          TNotifyEvent handler = OnClick;
          handler(this);
        }
      }
      return;
    default: return;
  }
}
