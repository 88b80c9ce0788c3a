// Forms and the application object: the program's windows, laid out by
// window descriptions compiled into the program image, and the message loop
// that delivers their events.

#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "canvas.h"
#include "component.h"
#include "exception.h"
#include "formreader.h"
#include "resources.h"

union SDL_Event;

// Colour names of window descriptions.  System colours carry their index in
// the top byte, as on the desktop the descriptions come from; the window
// paints them with a fixed shade.
constexpr TColor clWindowText = 0xFF000008;
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clWindow = 0xFF000005;

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };

constexpr int ANSI_CHARSET = 0;
constexpr int DEFAULT_CHARSET = 1;
constexpr int SYMBOL_CHARSET = 2;

// Kept for the description's sake; nothing draws text.
struct TFont {
  int Charset = DEFAULT_CHARSET;
  TColor Color = clWindowText;
  int Height = -11;
  std::string Name = "MS Sans Serif";
  std::set<TFontStyle> Style;
};

class TForm : public TComponent {
 public:
  // Applies the window description stored as the data resource `className`
  // of `instance` (found ignoring case, "TfMain" finds TFMAIN), creating the
  // components it lists.  `handlers` are the form's event handlers by the
  // names the description uses.  The window itself appears when the form is
  // shown.
  TForm(TComponent* owner, std::string_view className, PublishedHandlers handlers,
        HINSTANCE instance = HInstance);
  ~TForm() override;

  // The owned component `name` as a T; throws Exception when there is none.
  template <typename T>
  T* Component(const std::string& name) const {
    T* found = dynamic_cast<T*>(FindComponent(name));
    if (found == nullptr) throw Exception("Component " + name + " not found in " + Name);
    return found;
  }

  // Read when the window is made.  Left and Top place the client area.
  int Left = 0;
  int Top = 0;
  int ClientWidth = 320;
  int ClientHeight = 240;
  std::string Caption;
  std::set<TBorderIcon> BorderIcons{biSystemMenu, biMinimize, biMaximize};
  TFormBorderStyle BorderStyle = bsSizeable;
  TColor Color = clBtnFace;  // the client area until something is drawn

  // Kept from the description; they change nothing on screen.
  TFont* const Font = &font_;
  bool OldCreateOrder = false;
  int PixelsPerInch = 96;
  int TextHeight = 13;
  // The window is always presented from an off-screen surface in one piece,
  // so this has nothing left to switch; it is kept as a plain setting.
  bool DoubleBuffered = false;

  TNotifyEvent OnClick;

  // Paints straight onto the client area; what is drawn stays until drawn
  // over.  The window shows it after the event handler that drew it returns.
  TCanvas* const Canvas = &canvas_;

  // Makes the window and shows it.
  void Show();
  // Hides the window; closing the main form ends the application.
  void Close();
  bool Visible() const;

  bool ReadProperty(const std::string& name, const PropertyValue& value) override;

 private:
  friend class TApplication;
  struct Window;

  void AttachSurface();
  void Present();
  void PresentIfChanged();
  void PlaceClientArea();
  void HandleEvent(const SDL_Event& event);

  TFont font_;
  TCanvas canvas_;
  std::unique_ptr<Window> window_;
};

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // The program's name as the desktop sees it: the title of its message
  // boxes and the class of its windows (WM_CLASS "rain", which the desktop
  // entry's StartupWMClass names).  Fixed here rather than taken from the
  // executable's file name, so every build of the program looks the same to
  // the desktop.
  std::string Title = "Rain";
  std::string WindowClass = "rain";

  // Starts the display and the timers.  Throws Exception when there is no
  // display to show windows on.
  void Initialize();

  // Creates a form owned by the application and stores it in *reference; the
  // first form created is the main form.
  template <typename T>
  void CreateForm(T** reference) {
    T* form = new T(this);
    *reference = form;
    if (mainForm_ == nullptr) mainForm_ = form;
  }

  TForm* MainForm() const { return mainForm_; }

  // Shows the main form and delivers events until it is closed (or Terminate
  // is called).  Exceptions from event handlers leave Run.
  void Run();
  void Terminate() { terminated_ = true; }

  // The video driver Initialize started ("x11", "wayland", ...); empty
  // before.
  std::string VideoDriver() const;
  // Whether that driver puts windows on a screen.  SDL's dummy, evdev and
  // offscreen drivers draw nowhere; the environment may still select them
  // (SDL_VIDEODRIVER), as the platform's own tests do.
  bool ShowsOnScreen() const;

  // Shows the message in a message box titled "<Title> - error"; when no box
  // can be shown, or the driver started shows nothing on a screen, prints it
  // on stderr.  SIGINT and SIGTERM end the program and the box at once.
  void ShowException(const Exception* exception);

  // Frees the forms and closes the display; Initialize may start it again.
  // The destructor does the same, but the global Application is never
  // destroyed, so the program calls this itself once Run has returned.
  void Shutdown();

 private:
  void Dispatch(const void* event);
  TForm* FormOfWindow(std::uint32_t windowId) const;
  void PresentChangedForms();

  TForm* mainForm_ = nullptr;
  bool initialized_ = false;
  bool terminated_ = false;
};

// Made before main and never destroyed: a static destructor would close
// windows over a display connection that may already be gone.
extern TApplication* const Application;
