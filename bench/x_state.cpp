// rain-x-state: puts the program's window where nobody can see it, for
// bench/cpu-usage, as a desktop or a screensaver would.  Uses $DISPLAY.
//
//   rain-x-state host W H     makes a window W x H, prints its id and keeps it
//                             until its standard input ends
//   rain-x-state cover        covers the screen with a window of its own,
//                             until its standard input ends
//   rain-x-state minimise     asks the window manager to minimise the window
//                             titled "Rain"
//   rain-x-state unmap ID     unmaps the window ID
//   rain-x-state monitors-off switches the monitors off (DPMS)
//   rain-x-state monitors W H X Y ...
//                             sets the root window's monitors (RandR 1.5),
//                             the first on the screen's output, as
//                             `xrandr --setmonitor` would, until its
//                             standard input ends (Xvfb forgets a client's
//                             monitors when it disconnects)

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/dpms.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

Window FindTitled(Display* display, Window window, const char* title) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) != 0 && name != nullptr) {
    const bool found = std::strcmp(name, title) == 0;
    XFree(name);
    if (found) return window;
  }
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) != 0)
    for (unsigned i = 0; i < count && found == 0; ++i) found = FindTitled(display, children[i], title);
  if (children != nullptr) XFree(children);
  return found;
}

// Keeps the window until our standard input ends.
int Hold(Display* display, Window window, bool printId) {
  XMapRaised(display, window);
  XSync(display, False);
  if (printId) std::printf("%lu\n", window);
  std::fflush(stdout);
  for (std::string line; std::getline(std::cin, line);) {
  }
  XCloseDisplay(display);
  return 0;
}

int Fail(const char* what) {
  std::fprintf(stderr, "rain-x-state: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return Fail("cannot open the display");
  const Window root = DefaultRootWindow(display);
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "host" && argc == 4) {
    const auto width = static_cast<unsigned>(std::atoi(argv[2])), height = static_cast<unsigned>(std::atoi(argv[3]));
    return Hold(display, XCreateSimpleWindow(display, root, 0, 0, width, height, 0, 0, 0x808080), true);
  }
  if (command == "cover") {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // above everything, whatever the window manager says
    attributes.background_pixel = 0x404040;
    const Screen* screen = DefaultScreenOfDisplay(display);
    const Window cover = XCreateWindow(display, root, 0, 0, static_cast<unsigned>(WidthOfScreen(screen)),
                                       static_cast<unsigned>(HeightOfScreen(screen)), 0, CopyFromParent, InputOutput,
                                       CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    return Hold(display, cover, false);
  }
  if (command == "minimise") {
    const Window window = FindTitled(display, root, "Rain");
    if (window == 0) return Fail("no window titled Rain");
    XIconifyWindow(display, window, DefaultScreen(display));
  } else if (command == "unmap" && argc == 3) {
    XUnmapWindow(display, static_cast<Window>(std::strtoul(argv[2], nullptr, 0)));
  } else if (command == "monitors-off") {
    int event = 0, error = 0;
    if (!DPMSQueryExtension(display, &event, &error) || !DPMSCapable(display)) return Fail("the display has no DPMS");
    DPMSEnable(display);
    DPMSForceLevel(display, DPMSModeOff);
  } else if (command == "monitors" && argc >= 6 && (argc - 2) % 4 == 0) {
    XRRScreenResources* resources = XRRGetScreenResources(display, root);
    for (int i = 2, n = 0; i + 3 < argc; i += 4, ++n) {
      const bool withOutput = n == 0 && resources != nullptr && resources->noutput > 0;
      XRRMonitorInfo* monitor = XRRAllocateMonitor(display, withOutput ? 1 : 0);
      if (withOutput) monitor->outputs[0] = resources->outputs[0];
      monitor->name = XInternAtom(display, ("bench-" + std::to_string(n)).c_str(), False);
      monitor->width = std::atoi(argv[i]), monitor->height = std::atoi(argv[i + 1]);
      monitor->x = std::atoi(argv[i + 2]), monitor->y = std::atoi(argv[i + 3]);
      monitor->mwidth = monitor->width / 4, monitor->mheight = monitor->height / 4;
      XRRSetMonitor(display, root, monitor);
      XFree(monitor);
    }
    if (resources != nullptr) XRRFreeScreenResources(resources);
    XSync(display, False);
    std::cout << "set" << std::endl;
    while (std::cin.get() != EOF) {
    }
  } else {
    return Fail("usage: rain-x-state host W H | cover | minimise | unmap ID | monitors-off | monitors W H X Y ...");
  }
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
