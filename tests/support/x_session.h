// The real program in a private X server, for the tests that start it as a
// user does and watch and handle it from outside as a user and a window
// manager would: Xvfb and openbox, and what can be seen and done on that
// screen.  Include it after the project's own headers: Xlib's macros (None,
// Bool, Status) clash with names in them.

#pragma once

#include <poll.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

namespace support {

inline std::string DisplayNameOf(int number) { return ":" + std::to_string(number); }

// Starts a copy of `program` with `args`, kept in a folder of its own, from
// another empty folder (it must find everything inside itself), with
// `display` as its only display or none at all, and `environment`
// (NAME=VALUE) added; its stdout and stderr go to folder/stdout.txt and
// folder/stderr.txt.
inline ChildProcess Launch(const std::filesystem::path& program, const std::filesystem::path& folder,
                           const std::string& display, const std::vector<std::string>& args = {},
                           const std::vector<std::string>& environment = {}) {
  std::filesystem::create_directories(folder / "bin");
  std::filesystem::create_directories(folder / "home");
  const std::filesystem::path copy = folder / "bin" / program.filename();
  std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
  std::vector<std::string> argv{"env", "-C", (folder / "home").string(), "-u", "WAYLAND_DISPLAY",
                                "-u", "SDL_VIDEODRIVER", "-u", "SDL_VIDEO_X11_WMCLASS", "-u", "DISPLAY",
                                "-u", "GDK_SCALE", "-u", "XSCREENSAVER_WINDOW"};
  if (!display.empty()) argv.push_back("DISPLAY=" + display);
  argv.insert(argv.end(), environment.begin(), environment.end());
  argv.push_back(copy.string());
  argv.insert(argv.end(), args.begin(), args.end());
  return ChildProcess(argv, folder / "stderr.txt", folder / "stdout.txt");
}

using Rect = std::array<int, 4>;  // left, top, width, height

class XSession {
 public:
  // Xvfb, 1280 x 1024 (or `size`) at 24 bits (or `depth`), on the first
  // free display number.
  explicit XSession(const std::string& size = "1280x1024", int depth = 24) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                             size + "x" + std::to_string(depth), "-nolisten", "tcp", "-noreset"},
                    Scratch() / "xvfb.log");
    close(fds[1]);
    // Xvfb writes its number in one small write once it takes connections.
    char number[16] = {};
    pollfd ready{fds[0], POLLIN, 0};
    if (poll(&ready, 1, 15'000) == 1 && read(fds[0], number, sizeof number - 1) > 0)
      display_ = XOpenDisplay(DisplayNameOf(displayNumber_ = std::atoi(number)).c_str());
    close(fds[0]);
    if (display_ == nullptr) throw std::runtime_error("Xvfb did not start: " + ReadFile(Scratch() / "xvfb.log"));
    // Windows vanish while the tests walk the tree; Xlib's default handler
    // would end the test process for that.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~XSession() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  int DisplayNumber() const { return displayNumber_; }
  std::string DisplayName() const { return DisplayNameOf(displayNumber_); }
  Display* Dpy() const { return display_; }
  const std::filesystem::path& Scratch() const { return scratch_.path(); }

  // Ends the X server with `signal`, as a crash or the end of a session
  // does.  This session's own connection closes first, while it still can.
  void EndServer(int signal) {
    XCloseDisplay(display_);
    display_ = nullptr;
    server_->Signal(signal);
  }

  // Starts openbox and waits until its event loop runs.  Openbox announces
  // itself early in its start-up, and what reaches it before its loop starts
  // waits unread until the next event arrives: a window mapped in that gap
  // would never be shown.  Only the loop answers a request for a window's
  // frame extents, so the request is sent again until an answer comes, each
  // time waking a loop that sleeps on such a stale queue.
  void StartWindowManager() {
    windowManager_.emplace(std::vector<std::string>{"env", "DISPLAY=" + DisplayName(), "openbox", "--sm-disable"},
                           Scratch() / "openbox.log");
    const Window probe = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    const bool running = WaitUntil([&] {
      SendToWindowManager(probe, "_NET_REQUEST_FRAME_EXTENTS", {});
      return Cardinals(probe, "_NET_FRAME_EXTENTS").size() == 4;
    }, std::chrono::seconds(20));
    XDestroyWindow(display_, probe);
    XSync(display_, False);
    if (!running) throw std::runtime_error("openbox did not start: " + ReadFile(Scratch() / "openbox.log"));
  }

  // Every viewable window with a title, at any depth (a window manager
  // reparents clients into its frames).
  std::vector<std::pair<Window, std::string>> TitledWindows() {
    std::vector<std::pair<Window, std::string>> out;
    XGrabServer(display_);  // a consistent picture of the tree
    CollectTitled(DefaultRootWindow(display_), out);
    XUngrabServer(display_);
    XSync(display_, False);
    return out;
  }

  Rect ClientRectOnScreen(Window window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    Rect rect{0, 0, attributes.width, attributes.height};
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &rect[0], &rect[1], &child);
    return rect;
  }

  // The window's pixels as the server holds them, row-major, each in the
  // window's own layout (GrabRaw) or as 0x00RRGGBB, deeper channels cut to
  // their top 8 bits (Grab).
  std::vector<std::uint32_t> GrabRaw(Window window, std::array<unsigned long, 3>* masks = nullptr) {
    const Rect rect = ClientRectOnScreen(window);
    std::vector<std::uint32_t> pixels;
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(rect[2]), static_cast<unsigned>(rect[3]),
                              AllPlanes, ZPixmap);
    for (int y = 0; image != nullptr && y < rect[3]; ++y)
      for (int x = 0; x < rect[2]; ++x) pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)));
    if (image != nullptr && masks != nullptr) *masks = {image->red_mask, image->green_mask, image->blue_mask};
    if (image != nullptr) XDestroyImage(image);
    return pixels;
  }
  std::vector<std::uint32_t> Grab(Window window) {
    std::array<unsigned long, 3> masks{0xFF0000, 0xFF00, 0xFF};
    std::vector<std::uint32_t> pixels = GrabRaw(window, &masks);
    for (std::uint32_t& pixel : pixels) {
      std::uint32_t narrow = 0;
      for (const unsigned long mask : masks) {
        const int bits = std::popcount(mask);
        const std::uint32_t value = (pixel & mask) >> std::countr_zero(mask);
        narrow = narrow << 8 | (bits >= 8 ? value >> (bits - 8) : value << (8 - bits));
      }
      pixel = narrow;
    }
    return pixels;
  }

  // A property's items: 8-bit ones as chars, 32-bit ones as longs, which is
  // how Xlib hands them back.
  template <typename Item>
  std::vector<Item> Property(Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Item> items;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0, 1 << 20, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && format == (sizeof(Item) == 1 ? 8 : 32))
      items.assign(reinterpret_cast<const Item*>(data), reinterpret_cast<const Item*>(data) + count);
    if (data != nullptr) XFree(data);
    return items;
  }
  std::vector<long> Cardinals(Window window, const char* name) { return Property<long>(window, name); }

  // Moves the pointer to (x, y) on the screen, then presses and releases a
  // mouse button or, when `keys` are given, those keys together: pressed in
  // order, released in reverse, as a user types Ctrl+Q.
  void PointAndPress(int x, int y, unsigned button, const std::vector<KeySym>& keys = {}) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    if (keys.empty()) {
      XTestFakeButtonEvent(display_, button, True, CurrentTime);
      XTestFakeButtonEvent(display_, button, False, 50);
    }
    for (KeySym key : keys) XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, key), True, CurrentTime);
    for (auto key = keys.rbegin(); key != keys.rend(); ++key)
      XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, *key), False, 50);
    XSync(display_, False);
  }

  // Makes the screen these monitors, as `xrandr --setmonitor` does: the
  // first takes the screen's output, the others none.
  void SetMonitors(const std::vector<Rect>& monitors) {
    XRRScreenResources* resources = XRRGetScreenResources(display_, DefaultRootWindow(display_));
    for (std::size_t i = 0; i < monitors.size(); ++i) {
      const bool withOutput = i == 0 && resources != nullptr && resources->noutput > 0;
      XRRMonitorInfo* monitor = XRRAllocateMonitor(display_, withOutput ? 1 : 0);
      if (withOutput) monitor->outputs[0] = resources->outputs[0];
      monitor->name = XInternAtom(display_, ("M" + std::to_string(i)).c_str(), False);
      monitor->x = monitors[i][0], monitor->y = monitors[i][1], monitor->primary = i == 0;
      monitor->width = monitors[i][2], monitor->height = monitors[i][3], monitor->mwidth = monitor->width / 4;
      monitor->mheight = monitor->height / 4;
      XRRSetMonitor(display_, DefaultRootWindow(display_), monitor);
      XFree(monitor);
    }
    if (resources != nullptr) XRRFreeScreenResources(resources);
    XSync(display_, False);
  }

  // Another program's window, as a screensaver or a preview pane makes it.
  Window MakeWindow(unsigned width, unsigned height) {
    const Window window =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, width, height, 0, 0, 0x808080);
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
  }

  // What a window manager's menu or a pager asks for.
  void AskForFullScreen(Window window) {
    const Atom fullScreen = XInternAtom(display_, "_NET_WM_STATE_FULLSCREEN", False);
    SendToWindowManager(window, "_NET_WM_STATE", {1, static_cast<long>(fullScreen), 0, 2});
  }

  // What a taskbar sends the window manager to close a window.  The last
  // item says that the request comes from a pager or taskbar.
  void AskWindowManagerToClose(Window window) { SendToWindowManager(window, "_NET_CLOSE_WINDOW", {CurrentTime, 2}); }

 private:
  void SendToWindowManager(Window window, const char* request, const std::array<long, 4>& items) {
    XEvent event{.xclient = {ClientMessage, 0, True, display_, window, XInternAtom(display_, request, False), 32,
                             {.l = {items[0], items[1], items[2], items[3]}}}};
    XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    XSync(display_, False);
  }

  void CollectTitled(Window window, std::vector<std::pair<Window, std::string>>& out) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, window, &root, &parent, &children, &count) == 0) return;
    for (unsigned int i = 0; i < count; ++i) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display_, children[i], &attributes) == 0 || attributes.map_state != IsViewable)
        continue;
      const auto title = Property<char>(children[i], "_NET_WM_NAME");
      if (!title.empty()) out.emplace_back(children[i], std::string(title.begin(), title.end()));
      CollectTitled(children[i], out);
    }
    if (children != nullptr) XFree(children);
  }

  ScratchFolder scratch_;
  std::optional<ChildProcess> server_;
  std::optional<ChildProcess> windowManager_;
  int displayNumber_ = -1;
  Display* display_ = nullptr;
};

}  // namespace support
