// rain-wayland-driver [--scale N | --fullscreen | --root]: the real scene
// shown through the Wayland backend, driven as the program's host drives a
// backend: a tick every 1/64 s while seen, the missed ticks made up (at most
// 256) when seen again, Ctrl+Q or Ctrl+W freshly pressed, F11 and Escape,
// the compositor's close, and SIGINT or SIGTERM, each ending with status 0;
// an error in one line and status 1.  Unlike the host it paints every view
// whole and says so (Backend::WillRepaint), which bench/wayland-cpu-compare
// --native measures against the program.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "drawing/exception.h"
#include "drawing/scale.h"
#include "imaging/resources.h"
#include "platform/wayland/connect.h"
#include "scene/frame_setup.h"
#include "scene/rain.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::microseconds(15625);
constexpr int kMostMissed = 256;

int wakeWrite = -1;

// One area and the scene it shows.
struct Shown {
  platform::Area area;
  scene::Layout layout;
  std::unique_ptr<Rain> rain;
  std::unique_ptr<TBitmap> view;  // off screen, unless the area shows the view pixel for pixel
};

std::vector<Shown> LayOut(platform::Backend& backend, const TBitmap& picture) {
  std::vector<Shown> shown;
  for (const platform::Area& area : backend.Areas()) {
    Shown s{area, {}, nullptr, nullptr};
    const drawing::Size size{area.box.width, area.box.height};
    if (area.fills) {
      s.layout = scene::LayoutForRegion(size, {picture.width(), picture.height()}, {784, 495});
      s.rain = std::make_unique<Rain>(s.layout.scene, s.layout.pictureAt);
    } else {
      s.layout.placement = {{784, 495}, drawing::FitView(784, 495, size.width, size.height).box};
      s.rain = std::make_unique<Rain>();
    }
    const drawing::Placement& placed = s.layout.placement;
    if (placed.box != drawing::Box{0, 0, size.width, size.height} || placed.view != size) {
      s.view = std::make_unique<TBitmap>();
      s.view->SetSize(placed.view.width, placed.view.height);
    }
    shown.push_back(std::move(s));
  }
  // Black around the views, shown once.
  const drawing::Surface pixels = backend.Pixels();
  drawing::FillOutside(pixels, {}, 0);
  const drawing::Box whole{0, 0, pixels.width, pixels.height};
  backend.Present({&whole, 1});
  return shown;
}

// Every view is painted whole each frame.
std::vector<drawing::Box> Painted(const std::vector<Shown>& shown) {
  std::vector<drawing::Box> boxes;
  for (const Shown& s : shown) {
    const drawing::Box& a = s.area.box;
    const drawing::Box box = s.view ? drawing::Intersection(s.layout.placement.box, {0, 0, a.width, a.height})
                                    : drawing::Box{0, 0, a.width, a.height};
    boxes.push_back({a.x + box.x, a.y + box.y, box.width, box.height});
  }
  return boxes;
}

void Paint(platform::Backend& backend, std::vector<Shown>& shown, const TBitmap& picture) {
  const std::vector<drawing::Box> changed = Painted(shown);
  backend.WillRepaint(changed);
  const drawing::Surface pixels = backend.Pixels();
  for (Shown& s : shown) {
    const drawing::Box& a = s.area.box;
    const drawing::Surface area{pixels.pixels + static_cast<std::ptrdiff_t>(a.y) * pixels.stride + a.x, a.width,
                                a.height, pixels.stride};
    if (s.view) {
      s.rain->NextFrame(s.view->Canvas, &picture);
      drawing::PresentScaled(area, s.layout.placement.box, s.view->Canvas->surface());
    } else {
      TCanvas canvas(area);
      s.rain->NextFrame(&canvas, &picture);
    }
  }
  backend.Present(changed);
}

int Run(int argc, char** argv) {
  platform::Presentation presentation;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fullscreen") presentation.kind = platform::Presentation::kFullScreen;
    if (arg == "--root") presentation.kind = platform::Presentation::kRoot;
    if (arg == "--scale" && i + 1 < argc) presentation.scale = std::atoi(argv[++i]);
  }
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) throw Exception("no pipe");
  wakeWrite = wake[1];
  for (int signal : {SIGINT, SIGTERM}) std::signal(signal, [](int) { (void)!write(wakeWrite, "x", 1); });

  TBitmap frame, picture;
  scene::PrepareFrameAndPicture(frame, picture, [](TBitmap& b) { LoadFromResourceName(&b, HInstance, "Princess"); });
  const auto backend = platform::wayland::ConnectWayland();
  backend->Open({"Rain", "io.github.rain.Rain", {784, 495}, {250, 220}, true, 0, nullptr}, presentation);
  std::vector<Shown> shown = LayOut(*backend, picture);

  bool seen = true;
  std::set<platform::Key> heldAtFocus;
  Clock::time_point next = Clock::now(), unseenSince;
  for (;;) {
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    backend->Wait(wake[0], seen ? static_cast<int>(std::max<long>(wait, 0)) : -1);
    char drained[16];
    if (read(wake[0], drained, sizeof drained) > 0) return 0;
    std::vector<platform::Event> events;
    backend->Dispatch(events);
    for (const platform::Event& e : events) {
      switch (e.kind) {
        case platform::Event::kAreasChanged: shown = LayOut(*backend, picture); break;
        case platform::Event::kUnseen:
          seen = false;
          unseenSince = Clock::now();
          break;
        case platform::Event::kSeen: {
          seen = true;
          const auto missed = std::min<long>((Clock::now() - unseenSince) / kTick, kMostMissed);
          TCanvas nowhere;  // the motion alone
          for (long i = 0; i < missed; ++i)
            for (Shown& s : shown) s.rain->NextFrame(&nowhere, &picture);
          next = Clock::now();
          break;
        }
        case platform::Event::kFocus: heldAtFocus = {e.held.begin(), e.held.end()}; break;
        case platform::Event::kKeyUp: heldAtFocus.erase(e.key); break;
        case platform::Event::kKeyDown: {
          if (e.repeat || heldAtFocus.contains(e.key)) break;
          const bool ctrlOnly = e.modifiers.ctrl && !e.modifiers.shift && !e.modifiers.alt && !e.modifiers.logo;
          if (ctrlOnly && (e.key == platform::Key::kQ || e.key == platform::Key::kW)) return 0;
          if (e.key == platform::Key::kF11 && presentation.kind == platform::Presentation::kWindow)
            backend->SetFullScreen(!backend->FullScreen());
          if (e.key == platform::Key::kEscape) {
            if (presentation.kind == platform::Presentation::kFullScreen) return 0;
            if (backend->FullScreen()) backend->SetFullScreen(false);
          }
          break;
        }
        case platform::Event::kCloseAsked: return 0;
        default: break;
      }
    }
    const auto now = Clock::now();
    if (!seen || now < next) continue;
    next = std::max(next + kTick, now);  // never a pile of ticks
    Paint(*backend, shown, picture);
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const Exception& e) {
    std::fprintf(stderr, "Rain: %s\n", e.Message().c_str());
    return 1;
  }
}
