#include "platform/form.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "drawing/scale.h"
#include "imaging/bmp.h"
#include "platform/application.h"
#include "platform/x11.h"

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

// Ctrl+Q and Ctrl+W, the keys that close a desktop window; with Shift, Alt
// or the logo key held they are other shortcuts.
bool IsCloseKey(const SDL_Keysym& key) {
  const bool ctrlOnly = (key.mod & KMOD_CTRL) != 0 && (key.mod & (KMOD_SHIFT | KMOD_ALT | KMOD_GUI)) == 0;
  return ctrlOnly && (key.sym == SDLK_q || key.sym == SDLK_w);
}

// The keys that do something.
constexpr SDL_Keycode kActionKeys[] = {SDLK_q, SDLK_w, SDLK_ESCAPE};

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

struct TForm::Window {
  SDL_Window* handle = nullptr;
  SDL_Surface* surface = nullptr;
  // Used only when the window surface is not laid out as the canvas: the
  // canvas paints here and each present converts into the surface.
  std::vector<Pixel> shadow;
  // The view, when the window does not show it pixel for pixel at its
  // top-left corner.
  std::optional<drawing::ScaledView> scaled;
  bool surroundChanged = true;  // present the whole surface, not just the box
  std::uint64_t presentedVersion = 0;
  bool shown = false;
  bool placed = false;        // client area moved to Left, Top
  bool leftButtonDown = false;
  std::set<SDL_Keycode> heldSinceFocus;  // action keys down when the focus came, until released

  drawing::Surface Target();

  ~Window() {
    if (handle != nullptr) SDL_DestroyWindow(handle);
  }
};

TForm::TForm(TComponent* owner, std::string_view className, platform::PublishedHandlers handlers,
             HINSTANCE instance)
    : TComponent(owner) {
  const auto bytes = instance->Find(imaging::ResourceType::RCData, className);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string upper(className);
  std::ranges::transform(upper, upper.begin(), [](unsigned char c) { return std::toupper(c); });
  platform::ReadDescription(*this, className, text, upper, handlers);
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
  const bool foreign = Presentation.kind == platform::Presentation::kForeignWindow;
  if (window_ == nullptr) {
    auto window = std::make_unique<Window>();
    if (foreign) {
      // Another program owns the window: it is neither shown nor decorated here.
      window->handle = platform::AdoptForeignWindow(Presentation.foreignWindow);
    } else {
      const bool sizeable = BorderStyle == bsSizeable;
      const int scale = WindowScale();
      Uint32 flags = SDL_WINDOW_HIDDEN | (sizeable ? SDL_WINDOW_RESIZABLE : 0);
      if (Presentation.kind == platform::Presentation::kFullScreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
      const SDL_Point place = ClientPlace(*this, scale, 0, 0, 0, 0);
      window->handle =
          SDL_CreateWindow(Caption.c_str(), place.x, place.y, ClientWidth * scale, ClientHeight * scale, flags);
      if (window->handle == nullptr) throw Exception("Cannot create a window: " + SdlError());

      SetIcon(window->handle);
      platform::SetFrameButtons(window->handle, {.systemMenu = BorderIcons.contains(biSystemMenu),
                                                 .minimize = BorderIcons.contains(biMinimize),
                                                 .maximize = BorderIcons.contains(biMaximize),
                                                 .sizeable = sizeable});
    }
    window_ = std::move(window);
    AttachSurface();
  }
  if (!foreign) SDL_ShowWindow(window_->handle);
  window_->shown = true;
  Present();
}

// A closed form is only hidden; the application frees it when it shuts down.
void TForm::Close() {
  auto* application = dynamic_cast<TApplication*>(Owner());
  if (application != nullptr && application->MainForm() == this) application->Terminate();
  if (window_ != nullptr && window_->shown) {
    SDL_HideWindow(window_->handle);
    window_->shown = false;
  }
}

int TForm::WindowScale() const {
  return Presentation.kind == platform::Presentation::kWindow ? std::clamp(Presentation.scale, 1, 16) : 1;
}

bool TForm::ShowsViewOffScreen() const {
  return Presentation.kind != platform::Presentation::kWindow || WindowScale() != 1;
}

// Where presents write: the window surface, or the shadow that stands for it.
drawing::Surface TForm::Window::Target() {
  if (!shadow.empty()) return {shadow.data(), surface->w, surface->h, surface->w};
  return {static_cast<Pixel*>(surface->pixels), surface->w, surface->h, surface->pitch / 4};
}

// Points the canvas at the window's current surface, or at the view, and
// clears the surface: to the form's colour where the canvas paints on it, to
// black around the view.  SDL replaces the surface when the window changes
// size.
void TForm::AttachSurface() {
  Window& window = *window_;
  window.surface = SDL_GetWindowSurface(window.handle);
  if (window.surface == nullptr) throw Exception("Cannot draw in the window: " + SdlError());
  SDL_Surface* surface = window.surface;
  const Pixel background = PaintPixel(Color);
  window.shadow.clear();
  if (!CanvasCanPaintOn(surface)) window.shadow.resize(static_cast<std::size_t>(surface->w) * surface->h);
  const drawing::Surface target = window.Target();
  if (ShowsViewOffScreen()) {
    if (!window.scaled) {
      window.scaled.emplace(ClientWidth, ClientHeight, background);
      canvas_.Attach(window.scaled->view());
    }
    window.scaled->Fit(target);
  } else {
    canvas_.Attach(target);
    drawing::FillOutside(target, {}, background);
  }
  window.surroundChanged = true;
  window.presentedVersion = ~canvas_.version();  // present the cleared surface
}

void TForm::Present() {
  Window& window = *window_;
  for (int attempt = 0;; ++attempt) {
    if (window.scaled) window.scaled->Show(window.Target());
    if (!window.shadow.empty()) {
      SDL_ConvertPixels(window.surface->w, window.surface->h, SDL_PIXELFORMAT_RGB888, window.shadow.data(),
                        window.surface->w * 4, window.surface->format->format, window.surface->pixels,
                        window.surface->pitch);
    }
    // Between changes of the surface only the view's box changes on it.
    const drawing::Box fit = window.scaled ? window.scaled->box() : drawing::Box{};
    const SDL_Rect box{fit.x, fit.y, fit.width, fit.height};
    const bool whole = window.surroundChanged || !window.scaled;
    if ((whole ? SDL_UpdateWindowSurface(window.handle) : SDL_UpdateWindowSurfaceRects(window.handle, &box, 1)) == 0)
      break;
    // SDL invalidates the surface when the window changes; the next frame
    // paints into the new one.
    if (attempt > 0) throw Exception("Cannot show the window: " + SdlError());
    AttachSurface();
  }
  window.surroundChanged = false;
  window.presentedVersion = canvas_.version();
}

void TForm::PresentIfChanged() {
  if (Visible() && window_->presentedVersion != canvas_.version()) Present();
}

// With a window manager the position given when the window is made places
// the frame; once the frame's extents are known, move the client area to
// where the description puts it.
void TForm::PlaceClientArea() {
  if (window_ == nullptr || window_->placed) return;
  if (Presentation.kind != platform::Presentation::kWindow) return;
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
          window_->heldSinceFocus.clear();
          for (const SDL_Keycode key : kActionKeys)
            if (platform::KeyHeld(window_->handle, key)) window_->heldSinceFocus.insert(key);
          return;
        // No paint handler: an uncovered window shows what was last drawn.
        case SDL_WINDOWEVENT_EXPOSED:
          window_->surroundChanged = true;
          Present();
          return;
        default: return;
      }
    case SDL_KEYDOWN:
      // Only a fresh press: not a key held down and repeating, and not one
      // still held from another window, whose repeats X sends here once
      // this window has the focus.
      if (event.key.repeat != 0 || window_->heldSinceFocus.contains(event.key.keysym.sym)) return;
      // A full screen has no frame to close it with, so Escape closes it too.
      if (IsCloseKey(event.key.keysym) ||
          (event.key.keysym.sym == SDLK_ESCAPE && Presentation.kind == platform::Presentation::kFullScreen))
        Close();
      return;
    case SDL_KEYUP: window_->heldSinceFocus.erase(event.key.keysym.sym); return;
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT) window_->leftButtonDown = true;
      return;
    case SDL_MOUSEBUTTONUP:
      // A click is a press and a release of the left button over the window.
      if (event.button.button == SDL_BUTTON_LEFT && window_->leftButtonDown) {
        window_->leftButtonDown = false;
        const bool inside = event.button.x >= 0 && event.button.y >= 0 &&
                            event.button.x < window_->surface->w && event.button.y < window_->surface->h;
        if (inside && OnClick) {
          TNotifyEvent handler = OnClick;
          handler(this);
        }
      }
      return;
    default: return;
  }
}

// Each property reads only the values the program's descriptions use.
bool TForm::ReadProperty(const std::string& name, const platform::PropertyValue& value) {
  constexpr int kMaxSize = 16384;
  if (name == "Left") {
    Left = value.AsInteger();
  } else if (name == "Top") {
    Top = value.AsInteger();
  } else if (name == "ClientWidth") {
    ClientWidth = value.AsInteger(1, kMaxSize);
  } else if (name == "ClientHeight") {
    ClientHeight = value.AsInteger(1, kMaxSize);
  } else if (name == "Caption") {
    Caption = value.AsString();
  } else if (name == "BorderIcons") {
    BorderIcons.clear();
    for (std::size_t icon : value.AsIdentifierList({"biSystemMenu", "biMinimize"})) {
      BorderIcons.insert(static_cast<TBorderIcon>(icon));
    }
  } else if (name == "BorderStyle") {
    BorderStyle = static_cast<TFormBorderStyle>(value.AsIdentifier({"bsSingle"}));
  } else if (name == "Color") {
    value.AsIdentifier({"clBlack"});
    Color = clBlack;
  } else if (name == "Font.Charset") {
    value.AsIdentifier({"DEFAULT_CHARSET"});
    font_.Charset = DEFAULT_CHARSET;
  } else if (name == "Font.Color") {
    value.AsIdentifier({"clWindowText"});
    font_.Color = clWindowText;
  } else if (name == "Font.Height") {
    font_.Height = value.AsInteger();
  } else if (name == "Font.Name") {
    font_.Name = value.AsString();
  } else if (name == "Font.Style") {
    value.AsIdentifierList({});  // no style at all
  } else if (name == "OldCreateOrder") {
    OldCreateOrder = value.AsBoolean();
  } else if (name == "OnClick") {
    OnClick = value.AsHandler();
  } else if (name == "PixelsPerInch") {
    PixelsPerInch = value.AsInteger(1, 10000);
  } else if (name == "TextHeight") {
    TextHeight = value.AsInteger();
  } else {
    return false;
  }
  return true;
}
