#include "toolkit/form.h"

#include <utility>

#include "imaging/bmp.h"
#include "platform/host.h"
#include "toolkit/timer.h"

namespace {

// The shade a colour of a window description paints with.
drawing::Pixel PaintPixel(TColor color) { return drawing::ToPixel(color == clBtnFace ? 0xF0F0F0 : color); }

}  // namespace

TForm::TForm(TComponent* owner, std::string_view className, const PublishedHandlers& handlers, HINSTANCE instance)
    : TComponent(owner) {
  const auto bytes = instance->Find(imaging::ResourceType::RCData, className);
  ReadDescription(*this, className, {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, handlers);
}

TForm::~TForm() {
  // The timers first, so none fires into a form that is half gone.
  DestroyComponents();
}

std::vector<platform::View> TForm::Views() const {
  return host_ != nullptr ? host_->ViewList() : std::vector<platform::View>{};
}

void TForm::Show() {
  if (shown_ || backend_ == nullptr) return;
  if (host_ == nullptr) {
    // The handlers as they are when raised, not as they were now.
    const auto raise = [this](const TNotifyEvent& event) {
      return [this, &event] {
        if (TNotifyEvent handler = event) handler(this);
      };
    };
    platform::HostHooks hooks{.layout = OnLayout,
                              .resized = raise(OnResize),
                              .seen = raise(OnShow),
                              .unseen = raise(OnHide),
                              .click = raise(OnClick),
                              .programKey =
                                  [this](platform::Key key) {
                                    if (OnKeyPress) OnKeyPress(key);
                                  },
                              .close = [this] { Close(); },
                              .timers = TTimer::FireDue};
    host_ = std::make_unique<platform::Host>(*backend_, Presentation, canvas_, drawing::Size{ClientWidth, ClientHeight},
                                             PaintPixel(Color), std::move(hooks));
  }
  TBitmap icon;
  const bool hasIcon = HInstance->Contains(imaging::ResourceType::Icon, "MAINICON");
  if (hasIcon) imaging::LoadBmp(icon, HInstance->Find(imaging::ResourceType::Icon, "MAINICON"));
  host_->Open({.caption = Caption,
               .appId = "io.github.rain.Rain",
               .client = {ClientWidth, ClientHeight},
               .place = {Left, Top},
               .minimizeButton = BorderIcons.contains(biMinimize),
               .background = PaintPixel(Color),
               .icon = hasIcon ? &icon : nullptr});
  shown_ = true;
}

// A closed form is only hidden; the application frees it when it shuts down.
void TForm::Close() {
  if (onClose_) onClose_();
  if (host_ != nullptr) host_->Stop();
  shown_ = false;
}
