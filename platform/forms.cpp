#include "forms.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "signals.h"
#include "timer.h"
#include "windowhints.h"

namespace {

std::string SdlError() { return SDL_GetError(); }

// The shade a colour of a window description paints with.
Pixel PaintPixel(TColor color) {
  switch (color) {
    case clWindowText: return ToPixel(clBlack);
    case clBtnFace: return ToPixel(0xF0F0F0);
    case clWindow: return ToPixel(clWhite);
    default: return ToPixel(color);
  }
}

// The window surface formats whose pixels are laid out as the canvas's
// 0x00RRGGBB, so the canvas can paint on them directly.
bool CanvasCanPaintOn(const SDL_Surface* surface) {
  const Uint32 format = surface->format->format;
  return (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888) &&
         surface->pitch % 4 == 0;
}

// The program's icon, if the image carries one.
SDL_Surface* LoadIcon() {
  if (!HInstance->Contains(ResourceType::Icon, "MAINICON")) return nullptr;
  const auto bytes = HInstance->Find(ResourceType::Icon, "MAINICON");
  SDL_RWops* stream = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  SDL_Surface* icon = stream != nullptr ? SDL_LoadBMP_RW(stream, 1) : nullptr;
  if (icon == nullptr) throw Exception("Resource MAINICON is not a BMP image: " + SdlError());
  return icon;
}

}  // namespace

// ---------------------------------------------------------------------------
// The form's window

struct TForm::Window {
  SDL_Window* handle = nullptr;
  SDL_Surface* surface = nullptr;
  // Used only when the window surface is not laid out as the canvas: the
  // canvas paints here and each present converts into the surface.
  std::vector<Pixel> shadow;
  std::uint64_t presentedVersion = 0;
  bool shown = false;
  bool placed = false;        // client area moved to Left, Top
  bool leftButtonDown = false;

  ~Window() {
    if (handle == nullptr) return;
    SDL_DestroyWindow(handle);
  }
};

TForm::TForm(TComponent* owner, std::string_view className, PublishedHandlers handlers,
             HINSTANCE instance)
    : TComponent(owner) {
  const auto bytes = instance->Find(ResourceType::RCData, className);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string upper(className);
  std::ranges::transform(upper, upper.begin(), [](unsigned char c) { return std::toupper(c); });
  ReadDescription(*this, className, text, upper, handlers);
}

TForm::~TForm() {
  // The timers first, so none fires into a form that is half gone.
  DestroyComponents();
}

bool TForm::Visible() const { return window_ != nullptr && window_->shown; }

void TForm::Show() {
  if (window_ != nullptr) {
    if (!window_->shown) {
      SDL_ShowWindow(window_->handle);
      window_->shown = true;
      Present();
    }
    return;
  }
  auto window = std::make_unique<Window>();
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (BorderStyle == bsSizeable || BorderStyle == bsSizeToolWin) flags |= SDL_WINDOW_RESIZABLE;
  if (BorderStyle == bsNone) flags |= SDL_WINDOW_BORDERLESS;
  if (BorderStyle == bsToolWindow || BorderStyle == bsSizeToolWin) flags |= SDL_WINDOW_UTILITY;
  window->handle = SDL_CreateWindow(Caption.c_str(), Left, Top, ClientWidth, ClientHeight, flags);
  if (window->handle == nullptr) throw Exception("Cannot create the window " + Name + ": " + SdlError());

  if (SDL_Surface* icon = LoadIcon()) {
    SDL_SetWindowIcon(window->handle, icon);
    SDL_FreeSurface(icon);
  }
  // A borderless window has no buttons to choose.
  if (BorderStyle != bsNone) {
    SetFrameButtons(window->handle, {.systemMenu = BorderIcons.contains(biSystemMenu),
                                     .minimize = BorderIcons.contains(biMinimize),
                                     .maximize = BorderIcons.contains(biMaximize),
                                     .sizeable = (flags & SDL_WINDOW_RESIZABLE) != 0});
  }
  window_ = std::move(window);
  AttachSurface();
  SDL_ShowWindow(window_->handle);
  window_->shown = true;
  Present();
}

// As on the desktop, a closed form is only hidden; the application frees it
// when it shuts down.
void TForm::Close() {
  auto* application = dynamic_cast<TApplication*>(Owner());
  if (application != nullptr && application->MainForm() == this) application->Terminate();
  if (window_ != nullptr && window_->shown) {
    SDL_HideWindow(window_->handle);
    window_->shown = false;
  }
}

// Points the canvas at the window's current surface and clears it to the
// form's colour.  SDL replaces the surface when the window changes size.
void TForm::AttachSurface() {
  Window& window = *window_;
  window.surface = SDL_GetWindowSurface(window.handle);
  if (window.surface == nullptr) throw Exception("Cannot draw in the window " + Name + ": " + SdlError());
  SDL_Surface* surface = window.surface;
  const Pixel background = PaintPixel(Color);
  if (CanvasCanPaintOn(surface)) {
    window.shadow.clear();
    canvas_.Attach(Surface{static_cast<Pixel*>(surface->pixels), surface->w, surface->h, surface->pitch / 4});
    SDL_FillRect(surface, nullptr, background);
  } else {
    window.shadow.assign(static_cast<std::size_t>(surface->w) * surface->h, background);
    canvas_.Attach(Surface{window.shadow.data(), surface->w, surface->h, surface->w});
  }
  window.presentedVersion = ~canvas_.version();  // present the cleared surface
}

void TForm::Present() {
  Window& window = *window_;
  for (int attempt = 0;; ++attempt) {
    if (!window.shadow.empty()) {
      SDL_ConvertPixels(window.surface->w, window.surface->h, SDL_PIXELFORMAT_RGB888, window.shadow.data(),
                        window.surface->w * 4, window.surface->format->format, window.surface->pixels,
                        window.surface->pitch);
    }
    if (SDL_UpdateWindowSurface(window.handle) == 0) break;
    // SDL invalidates the surface when the window changes; the next frame
    // paints into the new one.
    if (attempt > 0) throw Exception("Cannot show the window " + Name + ": " + SdlError());
    AttachSurface();
  }
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
  int top = 0;
  int left = 0;
  if (SDL_GetWindowBordersSize(window_->handle, &top, &left, nullptr, nullptr) != 0) {
    window_->placed = true;  // the driver cannot tell; leave it where it is
    return;
  }
  if (top == 0 && left == 0) return;  // not known yet, or no frame at all
  SDL_SetWindowPosition(window_->handle, Left, Top);
  window_->placed = true;
}

void TForm::HandleEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: Close(); return;
        case SDL_WINDOWEVENT_SIZE_CHANGED: AttachSurface(); return;
        // No paint handler: an uncovered window shows what was last drawn.
        case SDL_WINDOWEVENT_EXPOSED: Present(); return;
        default: return;
      }
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

bool TForm::ReadProperty(const std::string& name, const PropertyValue& value) {
  // The colour names a description may use.
  auto color = [&value] {
    if (value.IsInteger()) return static_cast<TColor>(value.AsInteger());
    return value.AsIdentifier<TColor>({{"clBlack", 0x000000}, {"clMaroon", 0x000080}, {"clGreen", 0x008000},
                                       {"clOlive", 0x008080}, {"clNavy", 0x800000}, {"clPurple", 0x800080},
                                       {"clTeal", 0x808000}, {"clGray", 0x808080}, {"clSilver", 0xC0C0C0},
                                       {"clRed", 0x0000FF}, {"clLime", 0x00FF00}, {"clYellow", 0x00FFFF},
                                       {"clBlue", 0xFF0000}, {"clFuchsia", 0xFF00FF}, {"clAqua", 0xFFFF00},
                                       {"clWhite", 0xFFFFFF}, {"clWindowText", clWindowText},
                                       {"clBtnFace", clBtnFace}, {"clWindow", clWindow}});
  };
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
    const auto icons = value.AsIdentifierList<TBorderIcon>(
        {{"biSystemMenu", biSystemMenu}, {"biMinimize", biMinimize}, {"biMaximize", biMaximize}, {"biHelp", biHelp}});
    BorderIcons = {icons.begin(), icons.end()};
  } else if (name == "BorderStyle") {
    BorderStyle = value.AsIdentifier<TFormBorderStyle>({{"bsNone", bsNone}, {"bsSingle", bsSingle},
                                                        {"bsSizeable", bsSizeable}, {"bsDialog", bsDialog},
                                                        {"bsToolWindow", bsToolWindow},
                                                        {"bsSizeToolWin", bsSizeToolWin}});
  } else if (name == "Color") {
    Color = color();
  } else if (name == "Font.Charset") {
    font_.Charset = value.AsIdentifier<int>(
        {{"ANSI_CHARSET", ANSI_CHARSET}, {"DEFAULT_CHARSET", DEFAULT_CHARSET}, {"SYMBOL_CHARSET", SYMBOL_CHARSET}});
  } else if (name == "Font.Color") {
    font_.Color = color();
  } else if (name == "Font.Height") {
    font_.Height = value.AsInteger();
  } else if (name == "Font.Name") {
    font_.Name = value.AsString();
  } else if (name == "Font.Style") {
    const auto styles = value.AsIdentifierList<TFontStyle>(
        {{"fsBold", fsBold}, {"fsItalic", fsItalic}, {"fsUnderline", fsUnderline}, {"fsStrikeOut", fsStrikeOut}});
    font_.Style = {styles.begin(), styles.end()};
  } else if (name == "OldCreateOrder") {
    OldCreateOrder = value.AsBoolean();
  } else if (name == "DoubleBuffered") {
    DoubleBuffered = value.AsBoolean();
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

// ---------------------------------------------------------------------------
// The application

TApplication* const Application = new TApplication;

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() { Shutdown(); }

void TApplication::Shutdown() {
  // Windows go while SDL still runs.
  TTimer::SetDelivering(false);
  DestroyComponents();
  mainForm_ = nullptr;
  if (!initialized_) return;
  SDL_Quit();
  initialized_ = false;
}

void TApplication::Initialize() {
  if (initialized_) return;
  // Only real displays: without one SDL would quietly pick its invisible
  // "offscreen" driver and the program would run unseen.  An SDL_VIDEODRIVER
  // setting in the environment still takes precedence.  Wayland is named
  // only inside a Wayland session, where WAYLAND_DISPLAY is always set;
  // elsewhere trying it just adds libwayland's complaint to our message.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, std::getenv("WAYLAND_DISPLAY") != nullptr ? "x11,wayland" : "x11");
  // A desktop animation must not keep the screen saver away.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Nor switch off the desktop's compositor while it runs.
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_APP_NAME, Title.c_str());
  // SDL 2.26 takes the window class from these, or else from the
  // executable's file name.
  setenv("SDL_VIDEO_X11_WMCLASS", WindowClass.c_str(), 1);
  setenv("SDL_VIDEO_WAYLAND_WMCLASS", WindowClass.c_str(), 1);

  TolerateWakeupsOfClosedWindows();
  platform::EndProcessWhenDisplayIsLost(Title);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    throw Exception("Cannot open a window: " + SdlError());
  }
  // On X11 the window surface goes through shared memory (XShm).  Left to
  // itself SDL would put it through OpenGL, which without a graphics driver
  // means a software renderer costing many times the CPU.  The drivers
  // without a window surface of their own (Wayland in SDL 2.26) need SDL's
  // default.
  const std::string driver = SDL_GetCurrentVideoDriver();
  if (driver == "x11" || driver == "offscreen" || driver == "dummy") {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  }
  initialized_ = true;
  TTimer::SetDelivering(true);
}

void TApplication::Run() {
  if (mainForm_ == nullptr) return;
  if (!initialized_) Initialize();
  terminated_ = false;
  mainForm_->Show();
  // Timer events are made here, on this thread, when the loop finds a timer
  // due, as the desktop's message loop makes them: no timer thread, nothing
  // queued, and the loop sleeps in the display connection's poll between
  // frames.
  while (!terminated_) {
    SDL_Event event;
    bool received;
    if (TTimer::AnyRunning()) {
      const auto wait = TTimer::NextDue() - TTimer::Clock::now();
      // Whole milliseconds, rounded up so the loop does not wake just early.
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
      received = SDL_WaitEventTimeout(&event, static_cast<int>(std::clamp<long long>(ms, 0, 1000))) != 0;
    } else {
      received = SDL_WaitEvent(&event) != 0;
      if (!received) throw Exception("The message loop failed: " + SdlError());
    }
    if (received) Dispatch(&event);
    TTimer::FireDue();
    PresentChangedForms();
  }
}

TForm* TApplication::FormOfWindow(std::uint32_t windowId) const {
  for (TComponent* component : Components()) {
    auto* form = dynamic_cast<TForm*>(component);
    if (form != nullptr && form->window_ != nullptr && SDL_GetWindowID(form->window_->handle) == windowId) {
      return form;
    }
  }
  return nullptr;
}

void TApplication::Dispatch(const void* raw) {
  const SDL_Event& event = *static_cast<const SDL_Event*>(raw);
  switch (event.type) {
    case SDL_QUIT:  // the last window closed, or the session asked us to end
      Terminate();
      return;
    case SDL_WINDOWEVENT:
      if (TForm* form = FormOfWindow(event.window.windowID)) form->HandleEvent(event);
      return;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (TForm* form = FormOfWindow(event.button.windowID)) form->HandleEvent(event);
      return;
    default: return;
  }
}

void TApplication::PresentChangedForms() {
  for (TComponent* component : Components()) {
    if (auto* form = dynamic_cast<TForm*>(component)) {
      form->PlaceClientArea();
      form->PresentIfChanged();
    }
  }
}

std::string TApplication::VideoDriver() const {
  const char* driver = initialized_ ? SDL_GetCurrentVideoDriver() : nullptr;
  return driver != nullptr ? driver : "";
}

bool TApplication::ShowsOnScreen() const {
  const std::string driver = VideoDriver();
  return !driver.empty() && driver != "dummy" && driver != "evdev" && driver != "offscreen";
}

void TApplication::ShowException(const Exception* exception) {
  const std::string& message = exception->Message();
  const std::string title = Title + " - error";
  // SDL would show its box over X11 whatever driver runs; under one that
  // draws nowhere, the message must not appear where the program did not.
  if (!initialized_ || ShowsOnScreen()) {
    // Ending the program while the box waits for the user takes the box too.
    const platform::EndOnTerminationSignals endWithTheBox;
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), message.c_str(), nullptr) == 0) return;
  }
  std::fprintf(stderr, "%s: %s\n", Title.c_str(), message.empty() ? "an unknown error occurred" : message.c_str());
}
