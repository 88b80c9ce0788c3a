// Forms: the program's windows, laid out by window descriptions compiled into
// the program image, painted through a canvas on the window's own surface.

#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/exception.h"
#include "drawing/geometry.h"
#include "imaging/resources.h"
#include "platform/backend.h"
#include "platform/views.h"
#include "toolkit/component.h"
#include "toolkit/description.h"

namespace platform {
class Host;
}

// The values of the form's properties that window descriptions use.  A
// system colour carries its index in the top byte; the window paints it with
// a fixed shade.
constexpr TColor clBtnFace = 0xFF00000F;
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize };
enum TFormBorderStyle { bsSingle, bsSizeable };

class TForm : public TComponent {
 public:
  // Applies the window description stored as the data resource `className`
  // of `instance` (found ignoring case, "TfMain" finds TFMAIN), creating the
  // timer it lists.  `handlers` are the form's event handlers by the names
  // the description uses.  The window itself appears when the form is shown.
  TForm(TComponent* owner, std::string_view className, const PublishedHandlers& handlers,
        HINSTANCE instance = HInstance);
  ~TForm() override;

  // The owned component `name` as a T; throws Exception when there is none.
  template <typename T>
  T* Component(const std::string& name) const {
    T* found = dynamic_cast<T*>(FindComponent(name));
    if (found == nullptr) throw Exception("Component " + name + " not found in " + Name);
    return found;
  }

  // From the description, read when the window is made.  Left and Top place
  // the client area.
  int Left = 0;
  int Top = 0;
  int ClientWidth = 320;
  int ClientHeight = 240;
  std::string Caption;
  std::set<TBorderIcon> BorderIcons{biSystemMenu, biMinimize, biMaximize};
  TFormBorderStyle BorderStyle = bsSizeable;
  TColor Color = clBtnFace;  // the client area until something is drawn

  TNotifyEvent OnClick;

  // Read when the window is made.  A window at scale N has client area and
  // position both multiplied.  Wherever the window does not show the view
  // pixel for pixel, the canvas paints an off-screen view, which each
  // present maps into the window, each pixel a block or, when the area is
  // smaller than the view, the nearest pixel, with black around it.
  platform::Presentation Presentation;

  // Paints the first view, in its own coordinates.  What is drawn stays
  // until drawn over; the window shows it after the event handler that drew
  // it returns.
  TCanvas* const Canvas = &canvas_;

  // How an area the window fills shows a view, asked whenever the areas
  // change; unset, the ClientWidth x ClientHeight view is fitted and centred.
  std::function<drawing::Placement(drawing::Size area)> OnLayout;
  // Raised after the views changed: the window was made or resized, went in
  // or out of full screen, or its monitors changed.  Every view shows black
  // until its canvas paints it again.
  TNotifyEvent OnResize;

  // Raised when nobody can see the window any more (minimised, unmapped,
  // wholly covered, the monitors off), and when it can be seen again.  A
  // window counts as seen when it is shown, until the server says otherwise.
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  // A fresh press of a key the program gives its own meaning (M, + or -,
  // as the key rule says), in a window of its own.
  std::function<void(platform::Key key)> OnKeyPress;

  // The views, one for the whole window or one per monitor of the root
  // window; the first paints through Canvas.  Empty before Show.
  std::vector<platform::View> Views() const;

  // Makes the window and shows it.
  void Show();
  // Hides the window; closing the main form ends the application.
  void Close();
  bool Visible() const { return shown_; }

 private:
  friend class TApplication;

  TCanvas canvas_;
  std::function<void()> onClose_;            // set by the application for its main form
  platform::Backend* backend_ = nullptr;     // the application's, set before it shows the form
  std::unique_ptr<platform::Host> host_;     // from Show on
  bool shown_ = false;
};
