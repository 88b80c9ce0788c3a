// The Wayland backend's one object and everything it holds: the connection,
// the globals the compositor offers, the outputs, the seat, and the
// surfaces the animation shows on.  Shared by this folder's files only.

#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include "fractional-scale-v1-client.h"
#include "platform/backend.h"
#include "platform/wayland/buffers.h"
#include "viewporter-client.h"
// The layer shell names an argument `namespace`.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client.h"
#undef namespace
#include "xdg-decoration-unstable-v1-client.h"
#include "xdg-shell-client.h"

struct libdecor;
struct libdecor_frame;

namespace platform::wayland {

struct Output {
  wl_output* output = nullptr;
  std::uint32_t name = 0;  // the registry's
  int scale = 1;           // as it is announced
  int pendingScale = 1;    // until `done`
  drawing::Size mode;      // the current mode, in device pixels
  bool done = false;       // announced whole at least once
};

// One wl_surface the animation shows on: the window, or the background of
// one output.
struct View {
  wl_surface* surface = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  zxdg_toplevel_decoration_v1* decoration = nullptr;
  libdecor_frame* drawnFrame = nullptr;  // libdecor's, which holds the toplevel then
  wl_surface* drawnSurface = nullptr;    // the surface libdecor decorates: `surface`, or one under it
  wp_viewport* drawnViewport = nullptr;  // stretches `blackPixel`
  wl_subsurface* lifted = nullptr;       // `surface`, above what libdecor draws
  Buffer blackPixel;                     // all the `drawnSurface` under `surface` shows
  zwlr_layer_surface_v1* layer = nullptr;
  wp_viewport* viewport = nullptr;
  wp_fractional_scale_v1* fractional = nullptr;
  Output* output = nullptr;                // a background's output
  std::vector<const Output*> entered;      // the outputs the window is on
  std::unique_ptr<BufferRing> ring;

  drawing::Size logical;    // in the compositor's surface coordinates
  int bufferScale = 1;      // whole scales: each logical pixel N x N
  int scale120 = 0;         // a fractional scale, in 120ths, where the compositor offers one
  bool configured = false;  // the first configure was acked: buffers may be attached

  std::vector<drawing::Box> pending;  // changed in the combined picture since shown here
  drawing::Box area;                  // where it lies in the combined picture

  wl_callback* frame = nullptr;  // asked for and not yet done
  std::chrono::steady_clock::time_point frameAsked;
  bool stalled = false;          // no frame for long: nobody sees it
};

class WaylandBackend final : public Backend {
 public:
  explicit WaylandBackend(wl_display* display, std::string name);
  ~WaylandBackend() override;

  std::string Name() const override { return "wayland"; }
  Desktop DescribeDesktop() override;
  void Open(const WindowLook& look, const Presentation& presentation) override;
  std::vector<Area> Areas() override;
  drawing::Surface Pixels() override;
  void Present(std::span<const drawing::Box> changed) override;
  bool ReadyToPresent() override;
  void WillRepaint(std::span<const drawing::Box> boxes) override { repainting_.assign(boxes.begin(), boxes.end()); }
  void SetFullScreen(bool on) override;
  bool FullScreen() override { return fullScreen_; }
  void Wait(int wakeFd, int timeoutMs) override;
  void Dispatch(std::vector<Event>& events) override;
  bool ShowError(const std::string&, const std::string&) override { return false; }
  void Close() override;

  // --- connection.cpp: the registry and errors
  // Learns what the compositor offers; throws Exception when it lacks what
  // every window needs.
  void Start();
  void Bind(wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version);
  void Unbind(std::uint32_t name);
  // Throws Exception when the connection broke or the compositor raised a
  // protocol error.
  void CheckConnection();
  // Reads and handles events until `done` holds; for the set-up only.
  template <class Done>
  void DispatchUntil(Done done) {
    while (!done()) {
      if (wl_display_dispatch(display_) < 0) CheckConnection();
    }
  }
  void Post(Event event) { queue_.push_back(std::move(event)); }
  void Post(Event::Kind kind) {
    Event event;
    event.kind = kind;
    Post(std::move(event));
  }

  // --- outputs.cpp
  void AddOutput(wl_output* output, std::uint32_t name);
  void OutputDone(Output& output);
  void RemoveOutput(std::uint32_t name);
  Output* OutputOf(const wl_output* output);
  // A new scale or size for the view: buffers of that size, areas changed.
  void Rescale(View& view);
  void LayOut();

  // --- window.cpp
  View& NewView();
  drawing::Size WindowedSize() const;
  void OpenWindow(bool fullScreen);
  void HoldSize(bool hold);
  // The size the last configure asks for, and taking it on.
  drawing::Size ConfiguredSize() const;
  void Configured(View& view);

  // --- drawn_frame.cpp: libdecor's title bar
  // False where libdecor cannot make the window.
  bool OpenDrawnFrame(View& view, bool fullScreen);
  // The picture's surface above every surface libdecor has made, and the
  // one libdecor decorates under it.
  void Lift(View& view);
  void ShowUnderPicture(View& view);
  void HoldDrawnFrameSize(drawing::Size size);
  void SetDrawnFrameFullScreen(bool on);
  void DropDrawnFrame(View& view);
  void DropDrawnFrames();
  static void NoteDrawnFrameError(const char* message);
  void CheckDrawnFrame();

  // --- background.cpp
  void OpenBackground();
  void AddBackground(Output& output);
  void DropView(View& view);

  // --- seat.cpp
  void SeatCapabilities(std::uint32_t capabilities);
  void Keymap(std::uint32_t format, int fd, std::uint32_t size);
  void KeyboardEnter(wl_array* keys);
  void KeyEvent(std::uint32_t key, bool down);
  void Modifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group);

  // --- presenting.cpp
  void FrameDone(View& view);
  void Show(View& view);
  // A view's first picture, in the window's colour, so it shows before the
  // host paints.
  void ShowFirst(View& view);
  void Released(wl_buffer* buffer);
  Buffer MakeBuffer(drawing::Size size);
  static void FreeBuffer(Buffer& buffer);
  void CheckStalls();

  wl_display* display_;
  std::string displayName_;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_subcompositor* subcompositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zxdg_decoration_manager_v1* decorations_ = nullptr;
  libdecor* drawnFrames_ = nullptr;  // made only where the compositor draws no title bars
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wp_fractional_scale_manager_v1* fractionalScale_ = nullptr;
  wl_seat* seat_ = nullptr;
  std::uint32_t seatName_ = 0;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  bool pointerIn_ = false;  // over one of our surfaces
  bool leftDown_ = false;   // pressed there
  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* keyState_ = nullptr;

  std::vector<std::unique_ptr<Output>> outputs_;
  std::vector<std::unique_ptr<View>> views_;  // the window, or one background per output
  Presentation presentation_;
  WindowLook look_;
  bool opened_ = false;
  bool fullScreen_ = false;
  drawing::Size proposedSize_;  // by the toplevel's configure, until its surface's
  bool proposedFullScreen_ = false;
  bool unseen_ = false;  // reported unseen, not yet seen again
  // The combined picture the host paints into when there are several views;
  // with one, it paints straight into that view's buffer.
  std::vector<drawing::Pixel> combined_;
  drawing::Size combinedSize_;
  std::vector<Event> queue_;
  std::vector<drawing::Box> repainting_;  // by the host before its next Pixels()
};

}  // namespace platform::wayland
