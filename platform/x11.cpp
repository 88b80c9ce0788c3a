// Kept apart from the rest: the X11 headers define macros such as None and
// Window that clash with ordinary names.

#include "platform/x11.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "drawing/exception.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xresource.h>
#include <X11/keysym.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/dpms.h>

namespace platform {

namespace {

// The X11 display and window of an SDL window; false on other displays.
bool X11Of(SDL_Window* window, Display*& display, Window& xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  display = info.info.x11.display;
  xwindow = info.info.x11.window;
  return true;
}

}  // namespace

void SetFrameButtons(SDL_Window* window, const FrameButtons& buttons) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;

  // The Motif window manager hints, which window managers still read.
  enum : unsigned long {
    kFunctions = 1, kDecorations = 2,
    kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncMaximize = 16, kFuncClose = 32,
    kDecorBorder = 2, kDecorResize = 4, kDecorTitle = 8, kDecorMenu = 16, kDecorMinimize = 32,
    kDecorMaximize = 64,
  };
  unsigned long functions = kFuncMove;
  unsigned long decorations = kDecorBorder | kDecorTitle;
  if (buttons.systemMenu) {
    functions |= kFuncClose;
    decorations |= kDecorMenu;
  }
  if (buttons.minimize) {
    functions |= kFuncMinimize;
    decorations |= kDecorMinimize;
  }
  if (buttons.maximize && buttons.sizeable) {
    functions |= kFuncMaximize;
    decorations |= kDecorMaximize;
  }
  if (buttons.sizeable) {
    functions |= kFuncResize;
    decorations |= kDecorResize;
  }
  // flags, functions, decorations, input mode, status
  long hints[5] = {static_cast<long>(kFunctions | kDecorations), static_cast<long>(functions),
                   static_cast<long>(decorations), 0, 0};
  Display* display = info.info.x11.display;
  const Atom motifHints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(display, info.info.x11.window, motifHints, motifHints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
  XFlush(display);
}

namespace {

// Only this thread talks to the display, and Xlib calls the handlers on it,
// so plain values do.  The handlers may not talk to the server themselves:
// they note what happened and the message loop looks at it afterwards.

// The window another program made that we draw in, and whether it is gone.
Window foreignWindow = 0;
bool foreignWindowGone = false;

bool ending = false;

// The first X error nothing has looked at yet.
struct PendingError {
  bool set = false;
  Display* display = nullptr;
  XErrorEvent error{};
};
PendingError pending;
// Our own window destroyed by someone else, noticed from its DestroyNotify
// or from the errors of drawing in it.
bool destroyedOwn = false;
Window destroyedOwnWindow = 0;

// The windows others wholly cover, as VisibilityNotify last said.
std::vector<Window> coveredWindows;
// Our windows whose _NET_WM_STATE changed since StateChanged looked.
std::vector<Window> changedStates;

// RandR's first event code, once the root window's monitors are watched;
// and whether one of its events came since MonitorsChanged looked.
int randrEvents = -1;
bool monitorsChanged = false;

// While set, errors go here instead: our own checks of a window.
bool* trappedError = nullptr;

int NoteXError(Display* display, XErrorEvent* error) {
  if (trappedError != nullptr) {
    *trappedError = true;
    return 0;
  }
  if (ending || foreignWindowGone) return 0;
  // SDL 2.26 wakes its own message loop by sending an event to one of its
  // windows over a second connection; sent just as the window closes, the
  // server refuses it, which says nothing.
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  if (foreignWindow != 0) {
    // Its owner may destroy the window at any moment; what we send it then
    // is refused, which only says that it is gone.
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) && error->resourceid == foreignWindow) {
      foreignWindowGone = true;
      return 0;
    }
    // SDL looks for the parent of a resized window to place it, and the
    // root window, resized with its screen, has none.
    if (error->error_code == BadWindow && error->request_code == X_TranslateCoords && error->resourceid == 0) return 0;
  }
  if (!pending.set) pending = {true, display, *error};
  return 0;
}

// A plain array, so that nothing the handler reads is ever destroyed.
char lostDisplayProgram[64] = "";

int EndOnLostDisplay(Display* display) {
  std::fprintf(stderr, "%s: lost the connection to the display %s\n", lostDisplayProgram, DisplayString(display));
  std::_Exit(1);
}

// Runs `request` on `display` with its errors caught; true when it failed.
template <typename Request>
bool Fails(Display* display, Request request) {
  XSync(display, False);
  bool failed = false;
  trappedError = &failed;
  request();
  XSync(display, False);
  trappedError = nullptr;
  return failed;
}

std::string WindowName(unsigned long window) {
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", window);
  return id;
}

// What a refused request was trying to do, as the end of "refused to ...".
std::string RequestInWords(Display* display, const XErrorEvent& error) {
  static constexpr std::pair<int, const char*> kCore[] = {
      {X_CreateWindow, "make a window in"},          {X_ChangeWindowAttributes, "change"},
      {X_GetWindowAttributes, "read"},               {X_MapWindow, "show"},
      {X_UnmapWindow, "hide"},                       {X_ConfigureWindow, "move or resize"},
      {X_GetGeometry, "measure"},                    {X_QueryTree, "find the parent of"},
      {X_ChangeProperty, "set a property of"},       {X_GetProperty, "read a property of"},
      {X_TranslateCoords, "locate"},                 {X_SetInputFocus, "focus"},
      {X_CreateGC, "make a graphics context for"},   {X_FreeGC, "free a graphics context of"},
      {X_ClearArea, "clear"},                        {X_PutImage, "draw in"},
  };
  for (const auto& [code, words] : kCore)
    if (error.request_code == code) return words;
  static constexpr std::pair<const char*, const char*> kExtensions[] = {
      {"MIT-SHM", "draw through shared memory in"}, {"XInputExtension", "take input from"},
      {"RANDR", "read the monitors of"},           {"XKEYBOARD", "read the keyboard of"},
  };
  for (const auto& [name, words] : kExtensions) {
    int major = 0, event = 0, firstError = 0;
    if (XQueryExtension(display, name, &major, &event, &firstError) && major == error.request_code) return words;
  }
  return "carry out request " + std::to_string(error.request_code) + "." + std::to_string(error.minor_code) + " on";
}

}  // namespace

void HandleXErrors(const std::string& programName) {
  std::snprintf(lostDisplayProgram, sizeof lostDisplayProgram, "%s", programName.c_str());
  XSetErrorHandler(NoteXError);
  XSetIOErrorHandler(EndOnLostDisplay);
}

void IgnoreXErrors() { ending = true; }

void CheckXErrors() {
  if (pending.set && !ending && !foreignWindowGone) {
    const PendingError error = std::exchange(pending, {});
    const XErrorEvent& e = error.error;
    // A window that went away takes requests about other resources made
    // for it (a graphics context, shared memory) down with it.
    const unsigned long window = foreignWindow != 0 ? foreignWindow : e.resourceid;
    const bool aboutWindow = foreignWindow != 0 || e.error_code == BadWindow || e.error_code == BadDrawable;
    XWindowAttributes attributes;
    if (aboutWindow && window != 0 &&
        Fails(error.display, [&] { XGetWindowAttributes(error.display, window, &attributes); })) {
      (foreignWindow != 0 ? foreignWindowGone : destroyedOwn) = true;
      if (foreignWindow == 0) destroyedOwnWindow = window;
    } else {
      char reason[128] = "";
      XGetErrorText(error.display, e.error_code, reason, sizeof reason);
      throw Exception("The X server refused to " + RequestInWords(error.display, e) + " " +
                      (e.resourceid != 0 ? "the resource " + WindowName(e.resourceid) : std::string("the display")) +
                      ": " + reason);
    }
  }
  if (destroyedOwn && !ending)
    throw Exception("The window " + WindowName(destroyedOwnWindow) + " was destroyed by another program");
}

bool OwnWindowDestroyed() { return destroyedOwn; }

bool WaitForDisplay(SDL_Window* window, int wakeFd, int timeoutMs) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  Display* display = info.info.x11.display;
  // Flushes what we asked for, and reads what already came: an event Xlib
  // holds would not wake the poll.
  if (XEventsQueued(display, QueuedAfterFlush) > 0 || SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return true;
  pollfd waits[2] = {{ConnectionNumber(display), POLLIN, 0}, {wakeFd, POLLIN, 0}};
  poll(waits, wakeFd >= 0 ? 2 : 1, timeoutMs);
  return true;
}

SDL_Window* AdoptForeignWindow(unsigned long window) {
  // Left alone, SDL would mark the window as a place to drop files on.
  SDL_EventState(SDL_DROPFILE, SDL_DISABLE);
  SDL_EventState(SDL_DROPTEXT, SDL_DISABLE);
  // A connection of our own, to look at the window before SDL touches it.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) throw Exception("cannot open the display " + Quoted(XDisplayName(nullptr)));
  if (window == 0) window = DefaultRootWindow(display);
  const std::string name = "the window " + WindowName(window);
  XWindowAttributes attributes{};
  Window root = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  const bool isWindow = !Fails(display, [&] { XGetWindowAttributes(display, window, &attributes); });
  const bool isDrawable =
      isWindow || !Fails(display, [&] { XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth); });
  XCloseDisplay(display);
  if (!isDrawable) throw Exception("Cannot draw in " + name + ": there is no such window");
  if (!isWindow) throw Exception("Cannot draw in " + name + ": it is a picture (pixmap), not a window");
  if (attributes.c_class == InputOnly) throw Exception("Cannot draw in " + name + ": it takes input only and shows nothing");

  foreignWindow = window;
  foreignWindowGone = false;
  SDL_Window* adopted = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(window)));
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (adopted == nullptr || !SDL_GetWindowWMInfo(adopted, &info) || info.subsystem != SDL_SYSWM_X11) {
    const std::string error = SDL_GetError();
    if (adopted != nullptr) SDL_DestroyWindow(adopted);
    foreignWindow = 0;
    throw Exception("Cannot draw in " + name + ": " + error);
  }
  // SDL selects no events on a window it did not make.  Ask for its size
  // changes, its destruction and its exposures, and never for input: on the
  // root window another client may hold the button presses, and the server
  // would refuse a second one.
  Display* sdlDisplay = info.info.x11.display;
  XSelectInput(sdlDisplay, window, attributes.your_event_mask | StructureNotifyMask | ExposureMask);
  XSync(sdlDisplay, False);
  if (foreignWindowGone) {
    SDL_DestroyWindow(adopted);
    foreignWindow = 0;
    throw Exception("Cannot draw in " + name + ": there is no such window");
  }
  return adopted;
}

void NoteXEvent(const SDL_SysWMmsg& message) {
  if (message.subsystem != SDL_SYSWM_X11 || ending) return;
  const XEvent& event = message.msg.x11.event;
  if (randrEvents >= 0 && event.type >= randrEvents && event.type < randrEvents + RRNumberEvents) {
    XEvent copy = event;
    XRRUpdateConfiguration(&copy);  // Xlib's idea of the screen's size
    monitorsChanged = true;
  }
  if (event.type == PropertyNotify &&
      event.xproperty.atom == XInternAtom(event.xproperty.display, "_NET_WM_STATE", False) &&
      std::ranges::find(changedStates, event.xproperty.window) == changedStates.end())
    changedStates.push_back(event.xproperty.window);
  if (event.type == VisibilityNotify) {
    std::erase(coveredWindows, event.xvisibility.window);
    if (event.xvisibility.state == VisibilityFullyObscured) coveredWindows.push_back(event.xvisibility.window);
  }
  if (event.type != DestroyNotify) return;
  if (event.xdestroywindow.window == foreignWindow) {
    foreignWindowGone = true;
  } else if (event.xdestroywindow.event == event.xdestroywindow.window && foreignWindow == 0) {
    // Told about itself, so one of our own windows: we destroy ours only
    // while ending.
    destroyedOwn = true;
    destroyedOwnWindow = event.xdestroywindow.window;
  }
}

bool ForeignWindowGone() { return foreignWindowGone; }

void ReleaseForeignWindow(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  // Errors here only say the window is already gone.
  const bool wasEnding = std::exchange(ending, true);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, xwindow, &attributes)) {
    XSelectInput(display, xwindow, attributes.your_event_mask & ~(StructureNotifyMask | ExposureMask));
    XClearArea(display, xwindow, 0, 0, 0, 0, True);
  }
  XSync(display, False);
  ending = wasEnding;
}

bool IsRootWindow(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  return X11Of(window, display, xwindow) && xwindow == DefaultRootWindow(display);
}

namespace {

std::vector<drawing::Box> MonitorsOf(Display* display) {
  const Window root = DefaultRootWindow(display);
  std::vector<drawing::Box> monitors;
  int event = 0, error = 0, major = 0, minor = 0;
  if (XRRQueryExtension(display, &event, &error) && XRRQueryVersion(display, &major, &minor) &&
      (major > 1 || (major == 1 && minor >= 5))) {
    int count = 0;
    if (XRRMonitorInfo* list = XRRGetMonitors(display, root, True, &count)) {
      for (int i = 0; i < count; ++i) monitors.push_back({list[i].x, list[i].y, list[i].width, list[i].height});
      XRRFreeMonitors(list);
    }
  }
  if (monitors.empty()) {
    const Screen* screen = DefaultScreenOfDisplay(display);
    monitors.push_back({0, 0, WidthOfScreen(screen), HeightOfScreen(screen)});
  }
  return monitors;
}

}  // namespace

std::vector<drawing::Box> Monitors(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  return X11Of(window, display, xwindow) ? MonitorsOf(display) : std::vector<drawing::Box>{};
}

void WatchMonitors(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  int event = 0, error = 0;
  if (!X11Of(window, display, xwindow) || !XRRQueryExtension(display, &event, &error)) return;
  randrEvents = event;
  // The selection replaces SDL's own on the root window, so it keeps the
  // output changes SDL watches for itself.
  XRRSelectInput(display, DefaultRootWindow(display),
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask |
                     RROutputPropertyNotifyMask | RRResourceChangeNotifyMask);
}

bool MonitorsChanged() { return std::exchange(monitorsChanged, false); }

drawing::Box MonitorHoldingPointer(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return {};
  const std::vector<drawing::Box> monitors = MonitorsOf(display);
  Window root = 0, child = 0;
  int x = 0, y = 0, windowX = 0, windowY = 0;
  unsigned mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &windowX, &windowY, &mask);
  const auto found = std::ranges::find_if(monitors, [&](const drawing::Box& m) { return m.Contains({x, y}); });
  return found != monitors.end() ? *found : monitors.front();
}

namespace {

// Whether a window manager that speaks EWMH runs: it names a window of its
// own on the root window, which exists.
bool WindowManagerRuns(Display* display) {
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Window manager = 0;
  if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr && count == 1)
    manager = *reinterpret_cast<Window*>(data);
  if (data != nullptr) XFree(data);
  XWindowAttributes attributes;
  return manager != 0 && !Fails(display, [&] { XGetWindowAttributes(display, manager, &attributes); });
}

void HoldSize(Display* display, Window window, const drawing::Size* size) {
  XSizeHints* hints = XAllocSizeHints();
  long supplied = 0;
  XGetWMNormalHints(display, window, hints, &supplied);
  if (size == nullptr) {
    hints->flags &= ~(PMinSize | PMaxSize);
  } else {
    hints->flags |= PMinSize | PMaxSize;
    hints->min_width = hints->max_width = size->width;
    hints->min_height = hints->max_height = size->height;
  }
  XSetWMNormalHints(display, window, hints);
  XFree(hints);
}

}  // namespace

void SetFullScreen(SDL_Window* window, bool on, drawing::Box monitor, drawing::Box windowed) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  XWindowAttributes attributes{};
  XGetWindowAttributes(display, xwindow, &attributes);
  const bool mapped = attributes.map_state != IsUnmapped;
  const drawing::Size windowedSize{windowed.width, windowed.height};
  if (on) HoldSize(display, xwindow, nullptr);
  if (mapped && WindowManagerRuns(display)) {
    enum { kRemove = 0, kAdd = 1 };
    XEvent event{};
    event.xclient = {ClientMessage, 0, True, display, xwindow, state, 32, {}};
    event.xclient.data.l[0] = on ? kAdd : kRemove;
    event.xclient.data.l[1] = static_cast<long>(fullScreen);
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    // Read by a window manager when it maps the window; without one, ours
    // to keep, and to read back.
    if (on) {
      XChangeProperty(display, xwindow, state, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&fullScreen), 1);
    } else {
      XDeleteProperty(display, xwindow, state);
    }
    if (mapped) {
      const drawing::Box& to = on ? monitor : windowed;
      XMoveResizeWindow(display, xwindow, to.x, to.y, static_cast<unsigned>(to.width), static_cast<unsigned>(to.height));
      if (on) XRaiseWindow(display, xwindow);
    }
  }
  if (!on) HoldSize(display, xwindow, &windowedSize);
  XFlush(display);
}

bool InFullScreenState(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return false;
  const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool found = false;
  if (XGetWindowProperty(display, xwindow, XInternAtom(display, "_NET_WM_STATE", False), 0, 64, False, XA_ATOM,
                         &type, &format, &count, &after, &data) == Success && data != nullptr && format == 32) {
    const auto* atoms = reinterpret_cast<const Atom*>(data);
    found = std::find(atoms, atoms + count, fullScreen) != atoms + count;
  }
  if (data != nullptr) XFree(data);
  return found;
}

bool StateChanged(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  return X11Of(window, display, xwindow) && std::erase(changedStates, xwindow) > 0;
}

void HoldSize(SDL_Window* window, const drawing::Size* size) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  HoldSize(display, xwindow, size);
  XFlush(display);
}

void WatchCovering(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  if (!X11Of(window, display, xwindow)) return;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, xwindow, &attributes))
    XSelectInput(display, xwindow, attributes.your_event_mask | VisibilityChangeMask);
}

bool FullyCovered(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  return X11Of(window, display, xwindow) && std::ranges::find(coveredWindows, xwindow) != coveredWindows.end();
}

bool MonitorsOff(SDL_Window* window) {
  Display* display = nullptr;
  Window xwindow = 0;
  int event = 0, error = 0;
  if (!X11Of(window, display, xwindow) || !DPMSQueryExtension(display, &event, &error) || !DPMSCapable(display))
    return false;
  CARD16 level = DPMSModeOn;
  BOOL enabled = False;
  return DPMSInfo(display, &level, &enabled) && enabled && level != DPMSModeOn;
}

std::string XftDpi() {
  std::string dpi;
  // A connection of our own: SDL lends its one only through a window.
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return dpi;
  if (const char* resources = XResourceManagerString(display)) {
    XrmInitialize();
    if (XrmDatabase database = XrmGetStringDatabase(resources)) {
      char* type = nullptr;
      XrmValue value{};
      if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) dpi = value.addr;
      XrmDestroyDatabase(database);
    }
  }
  XCloseDisplay(display);
  return dpi;
}

bool KeyHeld(SDL_Window* window, int key) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  Display* display = info.info.x11.display;
  // SDL's keycodes of letters are their characters, which are their keysyms
  // too; function keys are numbered apart.
  const KeySym keysym = key >= SDLK_F1 && key <= SDLK_F12 ? XK_F1 + (key - SDLK_F1)
                        : key == SDLK_ESCAPE              ? XK_Escape
                                                          : static_cast<KeySym>(key);
  const KeyCode code = XKeysymToKeycode(display, keysym);
  char keys[32] = {};
  XQueryKeymap(display, keys);
  return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
}

std::string WhyNoDisplay(const std::string& sdlError) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && *wayland != '\0'
               ? "cannot reach the Wayland display " + Quoted(wayland) + ", and DISPLAY is not set"
               : "DISPLAY is not set";
  }
  Display* display = XOpenDisplay(nullptr);
  if (display != nullptr) XCloseDisplay(display);
  // SDL loads its X11 libraries only now; without the memory for them it
  // says no more than that X11 is not available.
  constexpr std::size_t kRoom = 32 << 20;
  void* room = mmap(nullptr, kRoom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED) return "out of memory";
  munmap(room, kRoom);
  if (display == nullptr) return "cannot open the display " + Quoted(name);
  return "cannot use the display " + Quoted(name) + ": " + sdlError;
}

}  // namespace platform
