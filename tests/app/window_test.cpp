// The real program in a private X server (Xvfb, and openbox where a window
// manager matters), started as a user starts it and watched and handled from
// outside as a user and a window manager would: its window, its animation,
// clicks and keys, a close request, its command line, a start without the
// picture and without a display, the screens it fills, other programs'
// windows it draws in, and what it does while nobody can see it.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "drawing/canvas.h"
#include "imaging/image_files.h"
#include "tests/support/rain_view.h"
// After the headers above: Xlib's macros (None, Bool, Status) clash with
// names in them.
#include "tests/support/x_session.h"
#include <X11/Xatom.h>
#include <X11/keysym.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using support::ChildProcess;
using support::Clock;
using support::DisplayNameOf;
using support::Launch;
using support::ReadFile;
using support::Pixels;
using support::Rect;
using support::Shown;
using support::ShownIn;
using support::ScratchFolder;
using support::WaitUntil;
using support::XSession;

const fs::path kProgram = RAIN_PROGRAM;
constexpr int kLeft = 250, kTop = 220, kWidth = 784, kHeight = 495;
constexpr Rect kClient{kLeft, kTop, kWidth, kHeight};
// A busy machine or a sanitized build starts the program slowly.
constexpr auto kStartTimeout = 20s;

constexpr Rect kInPlace{0, 0, kWidth, kHeight};

// Pairs of an area of a window and where the view shows in it.
using Views = std::vector<std::pair<Rect, Rect>>;

// Waits until `window` shows each view in place, then checks captures far
// enough apart for the rain to move: whole blocks, black around a view shrunk
// to fit, rain in the wide margins of a filled area.  The figure's shades are
// broad, so one a pixel off still matches most of it: it must match best in
// place, and well.
void ExpectShown(XSession& x, Window window, const Views& views) {
  const int width = x.ClientRectOnScreen(window)[2];
  const bool shrunk = views[0].second[2] < kWidth;
  const double share = shrunk ? 0.8 : 0.9;  // shrunk, thin lines of the figure drop out
  Pixels capture;
  const auto placed = [&](const auto& view) { return ShownIn(capture, width, view.first, view.second).figure >= share; };
  ASSERT_TRUE(WaitUntil([&] { return capture = x.Grab(window), std::ranges::all_of(views, placed); }, 10s))
      << "the figure never showed in place";
  std::vector<Shown> seen(views.size());
  for (int round = 0; round < 3; ++round) {
    std::this_thread::sleep_for(200ms);
    const Pixels next = x.Grab(window);
    ASSERT_EQ(next.size(), capture.size());
    EXPECT_GT(std::transform_reduce(next.begin(), next.end(), capture.begin(), 0u, std::plus<>(),
                                    std::not_equal_to<>()), 100u) << "the rain does not move";
    capture = next;
    for (std::size_t i = 0; i < views.size(); ++i) {
      const auto& [area, box] = views[i];
      const Shown shown = ShownIn(capture, width, area, box);
      EXPECT_GE(shown.figure, share) << "view " << i;
      EXPECT_EQ(std::tuple(shown.unlikeTheirBlock, shrunk ? shown.litAround : 0), std::tuple(0, 0)) << "view " << i;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
          EXPECT_TRUE((dx == 0 && dy == 0) ||
                      ShownIn(capture, width, box, {box[0] + dx, box[1] + dy, box[2], box[3]}).figure < shown.figure)
              << "view " << i << " shows better moved by " << dx << ", " << dy;
      seen[i].rainLeft |= shown.rainLeft;
      seen[i].rainRight |= shown.rainRight;
    }
  }
  for (std::size_t i = 0; i < views.size(); ++i)
    EXPECT_TRUE(seen[i].rainLeft && seen[i].rainRight) << "no rain in a margin of view " << i;
}

// The window titled "Rain" once its client area is `client`; 0 if it never is.
Window RainWindow(XSession& x, Rect client) {
  Window window = 0;
  return WaitUntil([&] {
    for (const auto& [found, title] : x.TitledWindows()) window = title == "Rain" ? found : window;
    return window != 0 && x.ClientRectOnScreen(window) == client;
  }, kStartTimeout) ? window : 0;
}

// Waits for the window "Rain" in its place with the figure painted in it.
void WaitForRain(XSession& x, ChildProcess& rain, Window& window) {
  window = RainWindow(x, kClient);
  ASSERT_NE(window, 0u) << "no window \"Rain\" in place; program " << (rain.Running() ? "running" : "ended")
                        << ", stderr: " << ReadFile(x.Scratch() / "stderr.txt");
  ASSERT_TRUE(WaitUntil([&] { return ShownIn(x.Grab(window), kWidth, kInPlace, kInPlace).figure >= 0.5; }, 10s))
      << "the figure never showed in the window";
}

TEST(RainWindow, ShowsItsFixedSizeAnimatedWindowWithIconAndIgnoresClicksAndOtherKeys) {
  XSession x;
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName());
  Window window = 0;
  ASSERT_NO_FATAL_FAILURE(WaitForRain(x, rain, window));
  EXPECT_EQ(x.ClientRectOnScreen(window), kClient);

  XSizeHints hints{};
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(x.Dpy(), window, &hints, &supplied), 0) << "no WM_NORMAL_HINTS";
  ASSERT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize)) << "the size is not fixed";
  EXPECT_EQ(std::vector({hints.min_width, hints.min_height, hints.max_width, hints.max_height}),
            std::vector({kWidth, kHeight, kWidth, kHeight}));

  // _NET_WM_ICON holds width, height, then ARGB pixels; ours is 32 x 32 in
  // sixteen colours.
  const std::vector<long> icon = x.Cardinals(window, "_NET_WM_ICON");
  ASSERT_GE(icon.size(), 2u + 32 * 32) << "no icon on the window";
  EXPECT_EQ(std::vector(icon.begin(), icon.begin() + 2), std::vector<long>({32, 32}));
  const std::set<long> colours(icon.begin() + 2, icon.begin() + 2 + 32 * 32);
  EXPECT_TRUE(colours.size() >= 2 && colours.size() <= 16) << colours.size() << " colours";

  // Desktops match the window to its desktop entry by class.
  XClassHint classHint{};
  ASSERT_NE(XGetClassHint(x.Dpy(), window, &classHint), 0) << "no WM_CLASS";
  const std::string windowClass = classHint.res_class;
  XFree(classHint.res_name);
  XFree(classHint.res_class);
  EXPECT_NE(ReadFile(RAIN_DESKTOP_ENTRY).find("\nStartupWMClass=" + windowClass + "\n"), std::string::npos);
  ExpectShown(x, window, {{kInPlace, kInPlace}});

  // On the figure, on the sky and in the far corner, with each button.
  for (const auto& [cx, cy] : {std::pair{400, 400}, {50, 50}, {783, 494}})
    for (unsigned button : {1u, 2u, 3u}) x.PointAndPress(kLeft + cx, kTop + cy, button);
  // Only Ctrl+Q and Ctrl+W end it.
  for (const auto& keys : std::vector<std::vector<KeySym>>{
           {XK_q}, {XK_w}, {XK_Escape}, {XK_Control_L, XK_a}, {XK_Control_L, XK_Shift_L, XK_q}})
    x.PointAndPress(kLeft + 400, kTop + 200, 0, keys);
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(rain.Running()) << "a click or a key ended the program";
  EXPECT_EQ(x.ClientRectOnScreen(window), kClient);
  EXPECT_EQ(x.TitledWindows().size(), 1u) << "a click opened another window";
  ExpectShown(x, window, {{kInPlace, kInPlace}});
}

// A window manager puts a frame around the window; the client area itself
// must still land at its place, the frame must offer no way to resize or
// maximise it, and closing it from the desktop ends the program cleanly.
TEST(RainWindow, UnderAWindowManagerKeepsItsPlaceAndClosesWithStatusZero) {
  XSession x;
  x.StartWindowManager();
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName());
  Window window = 0;
  ASSERT_NO_FATAL_FAILURE(WaitForRain(x, rain, window));
  ASSERT_TRUE(WaitUntil([&] {
    const auto extents = x.Cardinals(window, "_NET_FRAME_EXTENTS");
    return extents.size() == 4 && extents[2] > 0;
  }, 5s)) << "the window manager drew no title bar";
  WaitUntil([&] { return x.ClientRectOnScreen(window) == kClient; }, 3s);
  EXPECT_EQ(x.ClientRectOnScreen(window), kClient);

  const auto actions = x.Cardinals(window, "_NET_WM_ALLOWED_ACTIONS");
  for (const auto& [action, allowed] : {std::pair{"_NET_WM_ACTION_MINIMIZE", true}, {"_NET_WM_ACTION_CLOSE", true},
                                        {"_NET_WM_ACTION_RESIZE", false}, {"_NET_WM_ACTION_MAXIMIZE_HORZ", false},
                                        {"_NET_WM_ACTION_MAXIMIZE_VERT", false}})
    EXPECT_EQ(std::ranges::count(actions, static_cast<long>(XInternAtom(x.Dpy(), action, False))), allowed) << action;

  x.AskWindowManagerToClose(window);
  EXPECT_EQ(rain.WaitForExit(2s), 0) << ReadFile(x.Scratch() / "stderr.txt");
}

class CloseKey : public ::testing::TestWithParam<KeySym> {};

// Typed in the window as a user types them, without a window manager to
// turn them into a close request.
TEST_P(CloseKey, WithCtrlEndsTheProgramWithStatusZero) {
  XSession x;
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName());
  Window window = 0;
  ASSERT_NO_FATAL_FAILURE(WaitForRain(x, rain, window));
  x.PointAndPress(kLeft + 400, kTop + 200, 0, {XK_Control_R, GetParam()});
  EXPECT_EQ(rain.WaitForExit(5s), 0) << ReadFile(x.Scratch() / "stderr.txt");
}

INSTANTIATE_TEST_SUITE_P(QAndW, CloseKey, ::testing::Values(XK_q, XK_w),
                         [](const auto& info) { return std::string(XKeysymToString(info.param)); });

struct Arguments {
  std::vector<std::string> args;
  int status;
  std::string out;     // the start of stdout
  std::string errors;  // a part of the one line on stderr; empty for none
};
void PrintTo(const Arguments& a, std::ostream* os) { *os << testing::PrintToString(a.args); }

class CommandLine : public ::testing::TestWithParam<Arguments> {};

// Asking for help or mistyping opens nothing at all, not even for a moment.
TEST_P(CommandLine, AnswersWithoutCreatingAWindow) {
  XSession x;
  XSelectInput(x.Dpy(), DefaultRootWindow(x.Dpy()), SubstructureNotifyMask);
  XSync(x.Dpy(), False);
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), GetParam().args);
  EXPECT_EQ(rain.WaitForExit(kStartTimeout), GetParam().status);
  EXPECT_TRUE(ReadFile(x.Scratch() / "stdout.txt").starts_with(GetParam().out));
  const std::string errors = ReadFile(x.Scratch() / "stderr.txt");
  EXPECT_EQ(support::Lines(errors).size(), GetParam().errors.empty() ? 0u : 1u) << errors;
  EXPECT_NE(errors.find(GetParam().errors), std::string::npos) << errors;
  XSync(x.Dpy(), False);
  XEvent event;
  EXPECT_FALSE(XCheckTypedEvent(x.Dpy(), CreateNotify, &event)) << "a window was created";
}

INSTANTIATE_TEST_SUITE_P(Options, CommandLine,
                         ::testing::Values(Arguments{{"--version"}, 0, "rainstorm " RAIN_VERSION "\n", ""},
                                           Arguments{{"--help"}, 0, "Usage: rainstorm [OPTION]...\n", ""},
                                           Arguments{{"--fulscreen"}, 2, "", "'--fulscreen' (try rainstorm --help)"}));

TEST(MissingPicture, ShowsOneMessageNamingTheResourceAndExitsWithStatusOne) {
  XSession x;
  // The program talks to the server through xtrace, which records the text
  // the message box draws.  Its display number follows from our server's, so
  // no live proxy can have it; xtrace leaves its socket behind when it ends.
  const std::string traceDisplay = DisplayNameOf(x.DisplayNumber() + 1000);
  const fs::path socket = "/tmp/.X11-unix/X" + traceDisplay.substr(1);
  fs::remove(socket);
  const fs::path trace = x.Scratch() / "trace.txt";
  ChildProcess tracer({"xtrace", "-n", "-k", "-d", x.DisplayName(), "-D", traceDisplay, "-o", trace.string()},
                      x.Scratch() / "xtrace.log");
  ASSERT_TRUE(WaitUntil([&] {
    Display* probe = XOpenDisplay(traceDisplay.c_str());
    if (probe != nullptr) XCloseDisplay(probe);
    return probe != nullptr;
  }, 10s)) << ReadFile(x.Scratch() / "xtrace.log");

  ChildProcess rain = Launch(RAIN_PROGRAM_WITHOUT_PICTURE, x.Scratch(), traceDisplay);
  std::set<Window> messageWindows;
  bool dismissed = false, mainWindowShown = false;
  for (const auto end = Clock::now() + kStartTimeout; rain.Running() && Clock::now() < end;) {
    const auto windows = x.TitledWindows();
    for (const auto& [window, title] : windows) {
      messageWindows.insert(window);
      mainWindowShown |= title == "Rain";
    }
    if (!dismissed && windows.size() == 1) {
      // Let it draw, then do what a user does: point at it and press Enter.
      std::this_thread::sleep_for(300ms);
      const Rect box = x.ClientRectOnScreen(windows[0].first);
      x.PointAndPress(box[0] + box[2] / 2, box[1] + box[3] / 2, 0, {XK_Return});
      dismissed = true;
    }
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(rain.WaitForExit(5s), 1) << ReadFile(x.Scratch() / "stderr.txt");
  EXPECT_TRUE(dismissed) << "no message appeared";
  EXPECT_FALSE(mainWindowShown);
  EXPECT_EQ(messageWindows.size(), 1u) << "expected exactly one message window";

  // The text drawn, from the trace of the program's requests: SDL draws it
  // one character per request.
  static const std::regex kText(R"((?:PolyText8|ImageText8) .*?(?:\bs|string)='([^']*)')");
  std::string text;
  std::istringstream lines(ReadFile(trace));
  std::smatch match;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, match, kText)) text += match[1].str();
  EXPECT_TRUE(std::regex_search(text, std::regex("princess", std::regex::icase))) << "the message: " << text;
  fs::remove(socket);
}

TEST(WithoutDisplay, SaysWhyInOneLineAndExitsWithStatusOne) {
  XSession x;  // one that opens, for the start with too little memory
  const std::string unused = DisplayNameOf(x.DisplayNumber() + 1000);
  const auto run = [&](const std::string& setUp, const std::string& args = "") {
    const std::string script = "unset WAYLAND_DISPLAY SDL_VIDEODRIVER DISPLAY; " + setUp + "\nexec timeout 5 \"$0\"" + args;
    return support::RunToEnd({"sh", "-c", script, kProgram.string()}, x.Scratch());
  };
  const std::pair<std::string, std::string> cases[] = {
      {"", "DISPLAY is not set"}, {"export DISPLAY=" + unused, "cannot open the display '" + unused + "'"}};
  for (const auto& [setUp, why] : cases) {
    const support::Finished finished = run(setUp);
    EXPECT_EQ(finished.status, 1) << why;
    EXPECT_EQ(finished.err, "Rain: Cannot open a window: " + why + "\n");
  }
  // Too little memory for the display's libraries.  Where exactly memory
  // runs out moves with every library's size, so the limit rises from the
  // least the program starts in until the display is what fails; every
  // start on the way ends in one line of ours.
  const auto limited = [](long kib) { return "ulimit -v " + std::to_string(kib) + "; "; };
  long kib = 8192;
  while (kib < 65536 && run(limited(kib), " --version").status != 0) kib += 64;
  const std::string display = "export DISPLAY=" + x.DisplayName();
  bool said = false;
  for (const long last = kib + 4096; !said && kib < last; kib += 64) {
    const support::Finished finished = run(limited(kib) + display);
    ASSERT_EQ(finished.status, 1) << kib << " KiB: " << finished.err;
    ASSERT_TRUE(std::regex_match(finished.err, std::regex("Rain: [^\n]+\n"))) << kib << " KiB: " << finished.err;
    said = finished.err == "Rain: Cannot open a window: out of memory\n";
  }
  EXPECT_TRUE(said) << "no start short of memory said so";
}

// A screensaver's start that names no window is a guest's all the same: one
// line, status 1, and no box on a screen that belongs to someone else.
TEST(GuestStart, WithAnUnreadableScreensaverWindowSaysSoInOneLineWithoutABox) {
  XSession x;
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), {"--root"}, {"XSCREENSAVER_WINDOW=bogus"});
  EXPECT_EQ(rain.WaitForExit(5s), 1);
  EXPECT_TRUE(x.TitledWindows().empty()) << "a box showed";
  EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"), "Rain: XSCREENSAVER_WINDOW is not a window id: 'bogus'\n");
}

// A close key held down closes the window it was pressed in, not the next
// one the desktop gives the focus to, which the key's repeats then reach.
TEST(CloseKey, HeldDownEndsOnlyTheWindowItWasPressedIn) {
  XSession x;
  x.StartWindowManager();
  ChildProcess first = Launch(kProgram, x.Scratch() / "first", x.DisplayName());
  Window window = 0;
  ASSERT_NO_FATAL_FAILURE(WaitForRain(x, first, window));
  ChildProcess second = Launch(kProgram, x.Scratch() / "second", x.DisplayName());
  ASSERT_TRUE(WaitUntil([&] { return x.TitledWindows().size() == 2; }, kStartTimeout));
  std::this_thread::sleep_for(300ms);  // the newest window has the focus now
  const auto press = [&](Bool down) {
    for (const KeySym key : down ? std::array{XK_Control_L, XK_q} : std::array{XK_q, XK_Control_L})
      XTestFakeKeyEvent(x.Dpy(), XKeysymToKeycode(x.Dpy(), key), down, CurrentTime);
    XSync(x.Dpy(), False);
  };
  press(True);
  EXPECT_TRUE(WaitUntil([&] { return !second.Running(); }, 5s)) << "the focused window did not close";
  std::this_thread::sleep_for(1s);  // the key repeats, now in the other window
  press(False);
  std::this_thread::sleep_for(200ms);
  ASSERT_TRUE(first.Running()) << "the held key closed the next window too";
  x.PointAndPress(kLeft + 400, kTop + 200, 0, {XK_Control_L, XK_q});  // a fresh press does
  EXPECT_EQ(first.WaitForExit(5s), 0);
}

// --- Presentations other than the plain window ------------------------------

// Another program's window, its size followed but no input taken from it.
void ExpectNoInputTaken(XSession& x, Window window) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(x.Dpy(), window, &attributes);
  EXPECT_EQ(attributes.all_event_masks & (KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                                          PointerMotionMask), 0);
  EXPECT_NE(attributes.all_event_masks & StructureNotifyMask, 0) << "its size changes go unseen";
}

// Where the view shows as the command line, the environment or the desktop
// asks: a window at a whole scale, its pixels blocks, moved in to fit; or a
// screen filled, the picture at the largest whole scale, centred and
// standing on the bottom of each monitor, and rain over every other pixel.
// Each ends cleanly on its keys (Escape for a full screen, which has no frame
// to close) or, on the root, SIGINT; the root window is given back.
struct ViewCase {
  const char* name;
  const char* screen;
  std::vector<Rect> monitors = {};  // made with RandR; none: the screen is one
  bool windowManager = false;
  const char* resources = nullptr;  // the display's RESOURCE_MANAGER
  std::vector<std::string> environment = {}, args = {};
  Rect client;                     // where the window lands, the pointer at its middle; for --root, the screen
  Views views = {};                // none: the view fills the window
  std::vector<KeySym> close = {XK_Control_L, XK_q};  // the keys that end it; --root: SIGINT
  std::string note = "";           // the line on stderr
};
void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

class Presentation : public ::testing::TestWithParam<ViewCase> {};

TEST_P(Presentation, ShowsTheViewWhereItIsAskedForAndEndsCleanly) {
  const ViewCase& c = GetParam();
  XSession x(c.screen);
  if (!c.monitors.empty()) x.SetMonitors(c.monitors);
  if (c.windowManager) x.StartWindowManager();
  const Window root = DefaultRootWindow(x.Dpy());
  if (c.resources != nullptr)
    XChangeProperty(x.Dpy(), root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(c.resources), static_cast<int>(std::strlen(c.resources)));
  constexpr std::uint32_t kBackground = 0x203040;
  XSetWindowBackground(x.Dpy(), root, kBackground);
  XClearWindow(x.Dpy(), root);
  x.PointAndPress(c.client[0] + c.client[2] / 2, c.client[1] + c.client[3] / 2, 0, {XK_Shift_L});
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), c.args, c.environment);
  const bool onRoot = !c.args.empty() && c.args[0] == "--root";
  const Window window = onRoot ? root : RainWindow(x, c.client);
  ASSERT_NE(window, 0u) << "no window in place; " << ReadFile(x.Scratch() / "stderr.txt");
  const Rect whole{0, 0, c.client[2], c.client[3]};
  ExpectShown(x, window, c.views.empty() ? Views{{whole, whole}} : c.views);
  if (onRoot) ExpectNoInputTaken(x, root);
  if (onRoot)
    rain.Signal(SIGINT);
  else
    x.PointAndPress(c.client[0] + 10, c.client[1] + 10, 0, c.close);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"), c.note.empty() ? "" : c.note + "\n");
  EXPECT_TRUE(!onRoot || WaitUntil([&] {
    return std::ranges::all_of(x.Grab(root), [](std::uint32_t p) { return p == kBackground; });
  }, 5s)) << "the root window still shows the rain";
}

constexpr Rect kTwice{2 * kLeft, 2 * kTop, 2 * kWidth, 2 * kHeight};
constexpr Rect kFullHd{0, 0, 1920, 1080}, kFullHdView{160, 14, 2 * kWidth, 2 * kHeight};
const std::vector<Rect> kTwoMonitors{kFullHd, {1920, 0, 1280, 1024}};
INSTANTIATE_TEST_SUITE_P(
    Asked, Presentation,
    ::testing::Values(
        ViewCase{.name = "ScaleOption", .screen = "2560x1600", .args = {"--scale", "2"}, .client = kTwice},
        ViewCase{.name = "GdkScale", .screen = "2560x1600", .environment = {"GDK_SCALE=2"}, .client = kTwice,
                 .close = {XK_Control_L, XK_w}},
        // At (500, 440) it would reach 148 pixels past the right edge, 350 past the bottom.
        ViewCase{.name = "MovedInToFit", .screen = "1920x1080", .environment = {"GDK_SCALE=2"},
                 .client = {352, 90, 2 * kWidth, 2 * kHeight}},
        ViewCase{.name = "XftDpi", .screen = "2560x1600", .resources = "Xft.antialias:\t1\nXft.dpi:\t192\n",
                 .client = kTwice},
        // A desktop at 1.5 times gets a window it can hold, rounded down.
        ViewCase{.name = "XftDpiRoundedDown", .screen = "1920x1080", .resources = "Xft.dpi:\t144\n", .client = kClient},
        ViewCase{.name = "ScaleLoweredToFit", .screen = "1366x768", .args = {"--scale", "2"}, .client = kClient,
                 .note = "rainstorm: --scale 2 does not fit the screen's usable 1366 x 768; using 1"},
        ViewCase{.name = "FullScreen", .screen = "1920x1080", .windowManager = true, .args = {"--fullscreen"},
                 .client = kFullHd, .views = {{kFullHd, kFullHdView}}, .close = {XK_Escape}},
        // The monitor the pointer is on, with a window manager and without.
        ViewCase{.name = "FullScreenFollowsThePointer", .screen = "3200x1080", .monitors = kTwoMonitors,
                 .windowManager = true, .args = {"--fullscreen"}, .client = kTwoMonitors[1],
                 .views = {{{0, 0, 1280, 1024}, {240, 491, kWidth, kHeight}}}, .close = {XK_Escape}},
        ViewCase{.name = "FullScreenWithoutWindowManager", .screen = "3200x1080", .monitors = kTwoMonitors,
                 .args = {"--fullscreen"}, .client = kFullHd, .views = {{kFullHd, kFullHdView}}, .close = {XK_Escape}},
        ViewCase{.name = "RootEachMonitor", .screen = "3200x1080", .monitors = kTwoMonitors, .args = {"--root"},
                 .client = {0, 0, 3200, 1080},
                 .views = {{kFullHd, kFullHdView}, {kTwoMonitors[1], {2160, 491, kWidth, kHeight}}}},
        ViewCase{.name = "RootLaptop", .screen = "1366x768", .args = {"--root"}, .client = {0, 0, 1366, 768},
                 .views = {{{0, 0, 1366, 768}, {283, 235, kWidth, kHeight}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Monitors added, removed or moved while the root window is drawn in are
// followed within a second, each with a view of its own.
TEST(RootWindow, FollowsItsMonitorsWithinASecond) {
  XSession x("3200x1080");
  x.SetMonitors(kTwoMonitors);
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), {"--root"});
  const Window root = DefaultRootWindow(x.Dpy());
  ExpectShown(x, root, {{kFullHd, kFullHdView}, {kTwoMonitors[1], {2160, 491, kWidth, kHeight}}});
  const auto shownAt = [&](const Views& views) {
    const Pixels capture = x.Grab(root);
    return std::ranges::all_of(views, [&](const auto& view) {
      return ShownIn(capture, 3200, view.first, view.second).figure >= 0.9;
    });
  };
  const Views moved{{{0, 0, 1280, 1024}, {240, 491, kWidth, kHeight}},
                    {{1280, 0, 1920, 1080}, {1440, 14, 2 * kWidth, 2 * kHeight}}};
  // Moved as `xrandr --delmonitor` and `--setmonitor` do, which the server
  // announces to nobody.
  for (const char* name : {"M0", "M1"}) XRRDeleteMonitor(x.Dpy(), root, XInternAtom(x.Dpy(), name, False));
  x.SetMonitors({moved[0].first, moved[1].first});
  // A second, and a frame and a capture more.
  EXPECT_TRUE(WaitUntil([&] { return shownAt(moved); }, 1500ms)) << "the views did not follow the monitors";
  ExpectShown(x, root, moved);
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
}

// F11 fills the screen and gives the window back where it was; the window
// manager's own full screen fills it too.
TEST(FullScreenKey, FillsTheScreenAndGivesTheWindowBack) {
  XSession x("1920x1080");
  x.StartWindowManager();
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName());
  Window window = 0;
  ASSERT_NO_FATAL_FAILURE(WaitForRain(x, rain, window));
  const auto toggle = [&](KeySym key) { x.PointAndPress(kLeft + 400, kTop + 200, 0, {key}); };
  for (const bool byWindowManager : {false, true}) {
    byWindowManager ? x.AskForFullScreen(window) : toggle(XK_F11);
    ASSERT_TRUE(WaitUntil([&] { return x.ClientRectOnScreen(window) == kFullHd; }, 5s))
        << (byWindowManager ? "the window manager" : "F11") << " did not fill the screen";
    ExpectShown(x, window, {{kFullHd, kFullHdView}});
    toggle(byWindowManager ? XK_F11 : XK_Escape);
    ASSERT_TRUE(WaitUntil([&] { return x.ClientRectOnScreen(window) == kClient; }, 5s))
        << "back at " << testing::PrintToString(x.ClientRectOnScreen(window));
    ExpectShown(x, window, {{kInPlace, kInPlace}});
  }
}

// F11 pressed faster than the window's state follows, with a window manager
// and without: the window ends as the last press asked, full screen after an
// odd count and windowed after an even one, and Escape gives it back.
TEST(FullScreenKey, ABurstOfPressesEndsAsTheLastOneAsked) {
  for (const bool windowManager : {true, false}) {
    for (const int presses : {3, 4}) {
      SCOPED_TRACE(std::to_string(presses) + (windowManager ? " presses, window manager" : " presses"));
      XSession x("1920x1080");
      if (windowManager) x.StartWindowManager();
      ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName());
      Window window = 0;
      ASSERT_NO_FATAL_FAILURE(WaitForRain(x, rain, window));
      x.PointAndPress(kLeft + 400, kTop + 200, 0, {XK_Shift_L});  // the pointer in the window, which has the focus
      const KeyCode f11 = XKeysymToKeycode(x.Dpy(), XK_F11);
      // 10 ms apart: events of one time would pass for the key's autorepeat.
      for (int i = 0; i < presses; ++i)
        XTestFakeKeyEvent(x.Dpy(), f11, True, 10), XTestFakeKeyEvent(x.Dpy(), f11, False, 10);
      XSync(x.Dpy(), False);
      const Rect want = presses % 2 == 1 ? kFullHd : kClient;
      std::this_thread::sleep_for(1500ms);  // every request carried out
      EXPECT_EQ(x.ClientRectOnScreen(window), want);
      if (presses % 2 == 1) {
        ExpectShown(x, window, {{kFullHd, kFullHdView}});
        x.PointAndPress(kLeft + 400, kTop + 200, 0, {XK_Escape});
        EXPECT_TRUE(WaitUntil([&] { return x.ClientRectOnScreen(window) == kClient; }, 5s))
            << "back at " << testing::PrintToString(x.ClientRectOnScreen(window));
      }
      ExpectShown(x, window, {{kInPlace, kInPlace}});
    }
  }
}

// --- Another program's window -------------------------------------------------

// Named by --window-id, or with --root by XSCREENSAVER_WINDOW or --window-id
// as a screensaver's preview is.  One that cannot be drawn in is refused by
// id in one line, status 1, no error box: nobody is there to answer it.  Odd
// ones that can are filled as they change size and left to their owner; a
// preview smaller than the picture shows the view shrunk, nearest pixel.
struct HostCase {
  const char* name;
  Window (*make)(XSession&);
  std::vector<std::string> args;  // ending in --window-id: the id follows; else it is XSCREENSAVER_WINDOW
  const char* error;              // why, on the one line; null: drawn in
  Views views = {};               // the window's size in turn, and where the view shows in it
};
void PrintTo(const HostCase& c, std::ostream* os) { *os << c.name; }

class HostWindow : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostWindow, IsRefusedByIdInOneLineOrFilledAsItChangesSize) {
  const HostCase& c = GetParam();
  XSession x("1700x1100");
  const Window window = c.make(x);
  XSync(x.Dpy(), False);
  std::ostringstream id;
  id << "0x" << std::hex << window;
  std::vector<std::string> args = c.args, environment{"XSCREENSAVER_WINDOW=" + id.str()};
  if (args.back() == "--window-id") args.push_back(id.str()), environment.clear();
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), args, environment);
  if (c.error != nullptr) {
    EXPECT_EQ(rain.WaitForExit(kStartTimeout), 1);
    EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"),
              "Rain: Cannot draw in the window " + id.str() + ": " + c.error + "\n");
    EXPECT_TRUE(x.TitledWindows().empty()) << "a window showed";
    return;
  }
  for (const auto& [size, box] : c.views) {
    if (x.ClientRectOnScreen(window) != size) XResizeWindow(x.Dpy(), window, size[2], size[3]), XSync(x.Dpy(), False);
    ExpectShown(x, window, {{size, box}});
  }
  ExpectNoInputTaken(x, window);
  XImage* image = XGetImage(x.Dpy(), window, 0, 0, 1, 1, AllPlanes, ZPixmap);
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(image->depth != 32 || XGetPixel(image, 0, 0) >> 24 == 0xFF) << "not opaque in its alpha channel";
  XDestroyImage(image);
  EXPECT_TRUE(x.TitledWindows().empty()) << "a window of its own appeared";
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"), "");
  XWindowAttributes attributes{};
  EXPECT_NE(XGetWindowAttributes(x.Dpy(), window, &attributes), 0) << "the window went with the program";
}

// A mapped depth-32 (ARGB) window of another program, as a compositing
// screensaver host makes it.
Window MakeArgbWindow(XSession& x, int width, int height) {
  XVisualInfo info{};
  XMatchVisualInfo(x.Dpy(), DefaultScreen(x.Dpy()), 32, TrueColor, &info);
  XSetWindowAttributes attributes{};
  attributes.colormap = XCreateColormap(x.Dpy(), DefaultRootWindow(x.Dpy()), info.visual, AllocNone);
  const Window window = XCreateWindow(x.Dpy(), DefaultRootWindow(x.Dpy()), 0, 0, width, height, 0, 32, InputOutput,
                                      info.visual, CWColormap | CWBorderPixel, &attributes);
  XMapWindow(x.Dpy(), window);
  return window;
}

// The resident memory of process `pid`, in MiB.
long ResidentMiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmRSS:")) return std::stol(line.substr(6)) / 1024;
  return -1;
}

// What an ARGB host window's size took is given back when it shrinks: a
// moment at 8192 x 8192 (256 MiB a surface) leaves nothing behind.
TEST(ArgbHostWindow, MemoryFollowsItsCurrentSize) {
  XSession x("1700x1100");
  const Window window = MakeArgbWindow(x, 1280, 1024);
  XSync(x.Dpy(), False);
  std::ostringstream id;
  id << "0x" << std::hex << window;
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), {"--window-id", id.str()});
  const Views small{{{0, 0, 1280, 1024}, {240, 491, kWidth, kHeight}}};
  ExpectShown(x, window, small);
  const long before = ResidentMiB(rain.Pid());
  XResizeWindow(x.Dpy(), window, 8192, 8192), XSync(x.Dpy(), False);
  ASSERT_TRUE(WaitUntil([&] { return ResidentMiB(rain.Pid()) > before + 200; }, 10s)) << "never drew the large window";
  std::this_thread::sleep_for(500ms);  // a few frames at that size
  XResizeWindow(x.Dpy(), window, 1280, 1024), XSync(x.Dpy(), False);
  std::this_thread::sleep_for(1s);  // the large frames all shown
  ASSERT_TRUE(rain.Running()) << ReadFile(x.Scratch() / "stderr.txt");
  ExpectShown(x, window, small);
  EXPECT_TRUE(WaitUntil([&] { return ResidentMiB(rain.Pid()) < before + 100; }, 5s))
      << ResidentMiB(rain.Pid()) << " MiB kept, " << before << " MiB before";
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
}

constexpr Rect kPreview{0, 0, 200, 150}, kPreviewView{0, 12, 200, 126};
INSTANTIATE_TEST_SUITE_P(
    Kinds, HostWindow,
    ::testing::Values(
        HostCase{"Missing", [](XSession& x) {
          const Window gone = x.MakeWindow(100, 100);
          XDestroyWindow(x.Dpy(), gone);
          return gone;
        }, {"--window-id"}, "there is no such window"},
        HostCase{"InputOnly", [](XSession& x) {
          return XCreateWindow(x.Dpy(), DefaultRootWindow(x.Dpy()), 0, 0, 300, 200, 0, 0, InputOnly, CopyFromParent, 0,
                               nullptr);
        }, {"--window-id"}, "it takes input only and shows nothing"},
        HostCase{"Pixmap", [](XSession& x) { return XCreatePixmap(x.Dpy(), DefaultRootWindow(x.Dpy()), 64, 64, 24); },
                 {"--window-id"}, "it is a picture (pixmap), not a window"},
        HostCase{"RootById", [](XSession& x) { return DefaultRootWindow(x.Dpy()); }, {"--window-id"}, nullptr,
                 {{{0, 0, 1700, 1100}, {50, 34, 2 * kWidth, 2 * kHeight}}}},
        HostCase{"Depth32", [](XSession& x) { return MakeArgbWindow(x, 1280, 1024); }, {"--window-id"}, nullptr,
                 {{{0, 0, 1280, 1024}, {240, 491, kWidth, kHeight}}}},
        HostCase{"GrowingWindow", [](XSession& x) { return x.MakeWindow(1024, 768); }, {"--window-id"}, nullptr,
                 {{{0, 0, 1024, 768}, {112, 235, kWidth, kHeight}},
                  {{0, 0, 1700, 1100}, {50, 34, 2 * kWidth, 2 * kHeight}}}},
        HostCase{"PreviewByEnvironment", [](XSession& x) { return x.MakeWindow(200, 150); }, {"--root"}, nullptr,
                 {{kPreview, kPreviewView}}},
        HostCase{"PreviewByOption", [](XSession& x) { return x.MakeWindow(200, 150); }, {"--root", "--window-id"},
                 nullptr, {{kPreview, kPreviewView}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A screen of 10 bits a channel: each 8-bit value widened exactly (its top
// bits repeated below it), in the window, on the root and in a host window.
struct DeepCase {
  const char* name;
  std::vector<std::string> args;
};
void PrintTo(const DeepCase& c, std::ostream* os) { *os << c.name; }
class DeepColourScreen : public ::testing::TestWithParam<DeepCase> {};

TEST_P(DeepColourScreen, ShowsTheAnimationInItsExactColours) {
  XSession x("1700x1100", 30);
  std::vector<std::string> args = GetParam().args;
  Window window = DefaultRootWindow(x.Dpy());
  Views views{{{0, 0, 1700, 1100}, {50, 34, 2 * kWidth, 2 * kHeight}}};
  if (!args.empty() && args.back() == "--window-id") {
    window = x.MakeWindow(1024, 768);
    std::ostringstream id;
    id << "0x" << std::hex << window;
    args.push_back(id.str());
    views = {{{0, 0, 1024, 768}, {112, 235, kWidth, kHeight}}};
  }
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), args);
  if (args.empty()) window = RainWindow(x, kClient), views = {{kInPlace, kInPlace}};
  ASSERT_NE(window, 0u) << ReadFile(x.Scratch() / "stderr.txt");
  ExpectShown(x, window, views);
  std::array<unsigned long, 3> masks{};
  const Pixels raw = x.GrabRaw(window, &masks);
  ASSERT_EQ(std::popcount(masks[0]), 10);
  const auto exact = [&](std::uint32_t pixel) {
    return std::ranges::all_of(masks, [&](unsigned long mask) {
      const std::uint32_t v = (pixel & mask) >> std::countr_zero(mask);
      return (v & 3) == v >> 8;
    });
  };
  EXPECT_EQ(std::ranges::count_if(raw, exact), static_cast<long>(raw.size())) << "pixels not widened exactly";
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"), "");
}

INSTANTIATE_TEST_SUITE_P(Presentations, DeepColourScreen,
                         ::testing::Values(DeepCase{"Window", {}}, DeepCase{"Root", {"--root"}},
                                           DeepCase{"HostWindow", {"--window-id"}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Destroyed by another program, its own window or the frame the window
// manager put around it, the program ends with one line naming the window.
TEST(DestroyedWindow, EndsTheProgramWithOneLineAndStatusOne) {
  for (const bool frame : {false, true}) {
    XSession x;
    if (frame) x.StartWindowManager();
    ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName());
    Window window = 0;
    ASSERT_NO_FATAL_FAILURE(WaitForRain(x, rain, window));
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(x.Dpy(), window, &root, &parent, &children, &count);
    if (children != nullptr) XFree(children);
    XDestroyWindow(x.Dpy(), frame ? parent : window);
    XSync(x.Dpy(), False);
    EXPECT_EQ(rain.WaitForExit(5s), 1) << (frame ? "frame" : "window");
    std::ostringstream id;
    id << "0x" << std::hex << window;
    EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"),
              "Rain: The window " + id.str() + " was destroyed by another program\n");
  }
}

// --- Unseen ---------------------------------------------------------------

// Minimised, wholly covered, or drawing in a host window that was unmapped,
// the program presents nothing and its timer stops, and it draws again soon
// after it can be seen again.  What that saves is measured by
// bench/cpu-usage --state, not here.
enum Unseen { kMinimised, kCovered, kHostUnmapped };
class UnseenWindow : public ::testing::TestWithParam<Unseen> {};

TEST_P(UnseenWindow, PresentsNothingAndSleepsUntilSeenAgain) {
  const Unseen how = GetParam();
  XSession x;
  if (how == kMinimised) x.StartWindowManager();
  const Window host = how == kHostUnmapped ? x.MakeWindow(900, 600) : 0;
  const auto counter = x.Scratch() / "presents";
  // The frames presented, as the benchmark's preloaded counter keeps them.
  const auto presents = [&] {
    std::array<std::uint64_t, 2> slots{};
    std::ifstream(counter, std::ios::binary).read(reinterpret_cast<char*>(slots.data()), sizeof slots);
    return slots[0] + slots[1];
  };
  const std::vector<std::string> inHost{"--window-id", std::to_string(host)};
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), host != 0 ? inHost : std::vector<std::string>{},
                             {"LD_PRELOAD=" RAIN_PRESENT_COUNTER_LIB, "RAIN_PRESENT_COUNTER=" + counter.string()});
  ASSERT_TRUE(WaitUntil([&] { return presents() > 10; }, kStartTimeout)) << ReadFile(x.Scratch() / "stderr.txt");
  const Window window = host != 0 ? host : RainWindow(x, kClient);

  for (int round = 0; round < 2; ++round) {
    const Window cover = how == kCovered ? x.MakeWindow(1280, 1024) : 0;
    if (how == kMinimised) XIconifyWindow(x.Dpy(), window, DefaultScreen(x.Dpy()));
    if (how == kHostUnmapped) XUnmapWindow(x.Dpy(), host);
    XSync(x.Dpy(), False);
    std::this_thread::sleep_for(300ms);  // it notices
    const std::uint64_t before = presents();
    const long sleptBefore = support::Wakeups(rain.Pid());
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(presents(), before) << "round " << round << ": frames presented while unseen";
    // Running, its timer wakes it 64 times a second.
    EXPECT_LT(support::Wakeups(rain.Pid()) - sleptBefore, 10) << "round " << round << ": it did not sleep";

    cover != 0 ? XDestroyWindow(x.Dpy(), cover) : XMapWindow(x.Dpy(), window);
    XSync(x.Dpy(), False);
    const std::uint64_t hidden = presents();
    EXPECT_TRUE(WaitUntil([&] { return presents() > hidden + 5; }, 500ms)) << "round " << round << ": not drawn";
  }
  EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"), "");
}

const char* const kUnseenNames[] = {"Minimised", "WhollyCovered", "HostWindowUnmapped"};
INSTANTIATE_TEST_SUITE_P(States, UnseenWindow, ::testing::Values(kMinimised, kCovered, kHostUnmapped),
                         [](const auto& info) { return std::string(kUnseenNames[info.param]); });

}  // namespace
