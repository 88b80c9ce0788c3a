#include "app/screen.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "drawing/exception.h"

namespace app {
namespace {

// A decimal number that is all of `text`; nothing for anything else.
template <typename Number>
std::optional<Number> WholeNumber(std::string_view text) {
  Number value{};
  const char* const last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (text.empty() || error != std::errc() || end != last) return std::nullopt;
  return value;
}

}  // namespace

int FittingScale(int scale, int usableWidth, int usableHeight, int viewWidth, int viewHeight) {
  const auto fits = [&](int n) {
    return (usableWidth <= 0 || viewWidth * n <= usableWidth) && (usableHeight <= 0 || viewHeight * n <= usableHeight);
  };
  while (scale > 1 && !fits(scale)) --scale;
  return std::max(scale, 1);
}

int DesktopWindowScale(std::string_view gdkScale, std::string_view xftDpi, int usableWidth, int usableHeight,
                       int viewWidth, int viewHeight) {
  int scale = 1;
  if (const auto gdk = WholeNumber<long>(gdkScale); gdk && *gdk >= 1) {
    scale = static_cast<int>(std::min<long>(*gdk, kMaxWindowScale));
  } else if (const auto dpi = WholeNumber<double>(xftDpi); dpi && std::isfinite(*dpi) && *dpi > 0) {
    // Rounded down: a desktop at 1.5 times gets a window it can hold, not
    // one that covers three quarters of it.
    scale = static_cast<int>(std::clamp(std::floor(*dpi / 96), 1.0, static_cast<double>(kMaxWindowScale)));
  }
  return FittingScale(scale, usableWidth, usableHeight, viewWidth, viewHeight);
}

ScreenChoice ChoosePresentation(const ScreenOptions& options, std::string_view gdkScale,
                                std::string_view screensaverWindow, platform::Desktop (*desktop)(), int viewWidth,
                                int viewHeight) {
  using platform::Presentation;
  const auto only = [](Presentation presentation) { return ScreenChoice{presentation, {}}; };
  if (options.windowId) return only({.kind = Presentation::kHostWindow, .hostWindow = *options.windowId});
  if (options.root) {
    if (screensaverWindow.empty()) return only({.kind = Presentation::kRoot});
    const auto id = ParseWindowId(screensaverWindow);
    if (!id) throw Exception("XSCREENSAVER_WINDOW is not a window id: " + Quoted(screensaverWindow));
    return only({.kind = Presentation::kHostWindow, .hostWindow = *id});
  }
  if (options.fullScreen) return only({.kind = Presentation::kFullScreen});
  const platform::Desktop screen = desktop();
  const drawing::Size usable = screen.usable;
  if (!options.scale)
    return only({.kind = Presentation::kWindow,
                 .scale = DesktopWindowScale(gdkScale, screen.xftDpi, usable.width, usable.height, viewWidth,
                                             viewHeight)});
  const int scale = FittingScale(*options.scale, usable.width, usable.height, viewWidth, viewHeight);
  std::string note;
  if (scale < *options.scale)
    note = "--scale " + std::to_string(*options.scale) + " does not fit the screen's usable " +
           std::to_string(usable.width) + " x " + std::to_string(usable.height) + "; using " +
           std::to_string(scale);
  return {{.kind = Presentation::kWindow, .scale = scale}, note};
}

}  // namespace app
