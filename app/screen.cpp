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

int DesktopWindowScale(std::string_view gdkScale, std::string_view xftDpi, int usableWidth, int usableHeight,
                       int viewWidth, int viewHeight) {
  int scale = 1;
  if (const auto gdk = WholeNumber<long>(gdkScale); gdk && *gdk >= 1) {
    scale = static_cast<int>(std::min<long>(*gdk, kMaxWindowScale));
  } else if (const auto dpi = WholeNumber<double>(xftDpi); dpi && std::isfinite(*dpi) && *dpi > 0) {
    scale = static_cast<int>(std::clamp(std::lround(*dpi / 96), 1L, static_cast<long>(kMaxWindowScale)));
  }
  const auto fits = [&](int n) {
    return (usableWidth <= 0 || viewWidth * n <= usableWidth) && (usableHeight <= 0 || viewHeight * n <= usableHeight);
  };
  while (scale > 1 && !fits(scale)) --scale;
  return scale;
}

platform::Presentation ChoosePresentation(const ScreenOptions& options, std::string_view gdkScale,
                                          std::string_view screensaverWindow, platform::DesktopScreen (*desktop)(),
                                          int viewWidth, int viewHeight) {
  using platform::Presentation;
  if (options.windowId) return {.kind = Presentation::kForeignWindow, .foreignWindow = *options.windowId};
  if (options.root) {
    if (screensaverWindow.empty()) return {.kind = Presentation::kForeignWindow, .foreignWindow = 0};
    const auto id = ParseWindowId(screensaverWindow);
    if (!id) throw Exception("XSCREENSAVER_WINDOW is not a window id: " + Quoted(screensaverWindow));
    return {.kind = Presentation::kForeignWindow, .foreignWindow = *id};
  }
  if (options.fullScreen) return {.kind = Presentation::kFullScreen};
  if (options.scale) return {.kind = Presentation::kWindow, .scale = *options.scale};
  const platform::DesktopScreen screen = desktop();
  return {.kind = Presentation::kWindow,
          .scale = DesktopWindowScale(gdkScale, screen.xftDpi, screen.usableWidth, screen.usableHeight, viewWidth,
                                      viewHeight)};
}

}  // namespace app
