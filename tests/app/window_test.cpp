// The real program in a private X server (Xvfb, and openbox where a window
// manager matters), started as a user starts it and watched and handled from
// outside as a user and a window manager would: its window, its animation,
// clicks and keys, a close request, its command line, a start without the
// picture and without a display.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "drawing/canvas.h"
#include "imaging/image_files.h"
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
using support::Rect;
using support::ScratchFolder;
using support::WaitUntil;
using support::XSession;

const fs::path kProgram = RAIN_PROGRAM;
constexpr int kLeft = 250, kTop = 220, kWidth = 784, kHeight = 495;
constexpr Rect kClient{kLeft, kTop, kWidth, kHeight};
// A busy machine or a sanitized build starts the program slowly.
constexpr auto kStartTimeout = 20s;

using Pixels = std::vector<std::uint32_t>;  // 0x00RRGGBB, row-major
using FigurePixel = std::tuple<int, int, std::uint32_t>;  // x, y, colour

// The picture's figure inside the client area: every pixel of the picture
// that differs from its transparent colour, with the colour it must show.
const std::vector<FigurePixel>& Figure() {
  static const auto figure = [] {  // read when first needed, not while tests are listed
    std::vector<FigurePixel> pixels;
    TBitmap picture;
    imaging::LoadBmpFile(picture, RAIN_PICTURE_BMP);
    for (int y = 0; y < std::min(kHeight, picture.height()); ++y)
      for (int x = 0; x < std::min(kWidth, picture.width()); ++x)
        if (picture.Row(y)[x] != picture.TransparentPixel()) pixels.push_back({x, y, picture.Row(y)[x] & 0xFFFFFFu});
    return pixels;
  }();
  return figure;
}

// The share of the figure that the client area shows, moved by (dx, dy).
// Near drops fall in front of the figure, so a few of its pixels are covered.
double FigureShown(const Pixels& client, int dx = 0, int dy = 0) {
  if (client.size() != static_cast<std::size_t>(kWidth * kHeight)) return 0;
  std::size_t shown = 0;
  for (const auto& [x, y, colour] : Figure()) {
    const int cx = x + dx, cy = y + dy;
    shown += cx >= 0 && cy >= 0 && cx < kWidth && cy < kHeight &&
             client[static_cast<std::size_t>(cy * kWidth + cx)] == colour;
  }
  return static_cast<double>(shown) / static_cast<double>(Figure().size());
}

// Two captures far enough apart for the rain to move.  The figure's shades
// are broad, so a figure one pixel off still matches most of its pixels: it
// must match best exactly in place, and well.
void ExpectAnimatedFigureInPlace(XSession& x, Window window) {
  const Pixels first = x.Grab(window);
  std::this_thread::sleep_for(300ms);
  const Pixels second = x.Grab(window);
  for (const Pixels* capture : {&first, &second}) {
    const double inPlace = FigureShown(*capture);
    EXPECT_GE(inPlace, 0.9) << "too little of the figure shows";
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (dx != 0 || dy != 0) {
          EXPECT_LT(FigureShown(*capture, dx, dy), inPlace) << "shows better moved by " << dx << ", " << dy;
        }
  }
  ASSERT_EQ(first.size(), second.size());
  EXPECT_GT(std::transform_reduce(first.begin(), first.end(), second.begin(), 0u, std::plus<>(), std::not_equal_to<>()),
            100u) << "the rain does not move";
}

// Waits for the window "Rain" with the figure painted in it.
void WaitForRain(XSession& x, ChildProcess& rain, Window& window) {
  ASSERT_TRUE(WaitUntil([&] {
    for (const auto& [found, title] : x.TitledWindows()) window = title == "Rain" ? found : window;
    return window != 0;
  }, kStartTimeout)) << "no window \"Rain\"; program " << (rain.Running() ? "running" : "ended")
                     << ", stderr: " << ReadFile(x.Scratch() / "stderr.txt");
  ASSERT_TRUE(WaitUntil([&] { return FigureShown(x.Grab(window)) >= 0.5; }, 10s))
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
  ExpectAnimatedFigureInPlace(x, window);

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
  ExpectAnimatedFigureInPlace(x, window);
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

// Without a display to open the program says why, in one line.
TEST(WithoutDisplay, SaysWhyInOneLineAndExitsWithStatusOne) {
  XSession x;  // one that opens, for the start with too little memory
  const std::string program = kProgram.string(), unused = DisplayNameOf(x.DisplayNumber() + 1000);
  const std::vector<std::string> clean{"env", "-u", "WAYLAND_DISPLAY", "-u", "SDL_VIDEODRIVER", "-u", "DISPLAY"};
  const auto with = [&](std::vector<std::string> words) {
    words.insert(words.begin(), clean.begin(), clean.end());
    return words;
  };
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {with({program}), "DISPLAY is not set"},
      {with({"DISPLAY=" + unused, program}), "cannot open the display '" + unused + "'"},
      {{"sh", "-c", "ulimit -v 24576 && exec \"$@\"", "sh", "env", "DISPLAY=" + x.DisplayName(), program},
       "out of memory"},
  };
  for (const auto& [argv, why] : cases) {
    ScratchFolder folder;
    const support::Finished run = support::RunToEnd(argv, folder.path());
    EXPECT_EQ(run.status, 1) << why;
    EXPECT_EQ(run.err, "Rain: Cannot open a window: " + why + "\n");
  }
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

  const KeyCode control = XKeysymToKeycode(x.Dpy(), XK_Control_L), q = XKeysymToKeycode(x.Dpy(), XK_q);
  XTestFakeKeyEvent(x.Dpy(), control, True, CurrentTime);
  XTestFakeKeyEvent(x.Dpy(), q, True, CurrentTime);
  XSync(x.Dpy(), False);
  EXPECT_TRUE(WaitUntil([&] { return !second.Running(); }, 5s)) << "the focused window did not close";
  std::this_thread::sleep_for(1s);  // the key repeats, now in the other window
  XTestFakeKeyEvent(x.Dpy(), q, False, CurrentTime);
  XTestFakeKeyEvent(x.Dpy(), control, False, CurrentTime);
  XSync(x.Dpy(), False);
  std::this_thread::sleep_for(200ms);
  ASSERT_TRUE(first.Running()) << "the held key closed the next window too";

  // A fresh press does close it.
  x.PointAndPress(kLeft + 400, kTop + 200, 0, {XK_Control_L, XK_q});
  EXPECT_EQ(first.WaitForExit(5s), 0);
}

// --- Presentations other than the plain window ------------------------------

// How a capture `width` pixels wide shows the view in `box`, each pixel the
// nearest view pixel: the share of the figure shown, the pixels of the box
// unlike the first of their N x N block (for a box N times the view), and
// the pixels around the box that are not black.
struct Shown {
  double figure = 0;
  int unlikeTheirBlock = 0, litOutside = 0;
};
Shown ViewIn(const Pixels& capture, int width, const Rect& box) {
  static const Pixels figure = [] {
    Pixels map(kWidth * kHeight, 0xFF000000u);  // not part of the figure
    for (const auto& [x, y, colour] : Figure()) map[static_cast<std::size_t>(y * kWidth + x)] = colour;
    return map;
  }();
  Shown shown;
  const int n = box[2] % kWidth == 0 ? box[2] / kWidth : 1;
  std::size_t figurePixels = 0, matching = 0;
  for (int y = 0; y < static_cast<int>(capture.size()) / width; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t pixel = capture[static_cast<std::size_t>(y * width + x)];
      const int bx = x - box[0], by = y - box[1];
      if (bx < 0 || by < 0 || bx >= box[2] || by >= box[3]) {
        shown.litOutside += pixel != 0;
        continue;
      }
      const std::uint32_t want = figure[static_cast<std::size_t>(by * kHeight / box[3] * kWidth + bx * kWidth / box[2])];
      figurePixels += want != 0xFF000000u;
      matching += want == pixel;
      shown.unlikeTheirBlock += pixel != capture[static_cast<std::size_t>((y - by % n) * width + x - bx % n)];
    }
  shown.figure = static_cast<double>(matching) / static_cast<double>(std::max<std::size_t>(figurePixels, 1));
  return shown;
}

// Waits until `window` shows the view in `box`, then checks two captures
// far enough apart for the rain to move: blocks of one colour, black around.
void ExpectViewIn(XSession& x, Window window, const Rect& box, double share = 0.9) {
  const int width = x.ClientRectOnScreen(window)[2];
  Pixels first;
  EXPECT_TRUE(WaitUntil([&] { return ViewIn(first = x.Grab(window), width, box).figure >= share; }, 10s))
      << "the figure never showed in " << box[0] << "," << box[1] << " " << box[2] << "x" << box[3];
  std::this_thread::sleep_for(300ms);
  const Pixels second = x.Grab(window);
  for (const Pixels* capture : {static_cast<const Pixels*>(&first), &second}) {
    const Shown shown = ViewIn(*capture, width, box);
    EXPECT_GE(shown.figure, share);
    EXPECT_EQ(std::tuple(shown.unlikeTheirBlock, shown.litOutside), std::tuple(0, 0));
  }
  EXPECT_NE(first, second) << "the rain does not move";
}

// The window titled "Rain", once its client area is `client`.
Window RainWindow(XSession& x, Rect client) {
  Window window = 0;
  WaitUntil([&] {
    for (const auto& [found, title] : x.TitledWindows()) window = title == "Rain" ? found : window;
    return window != 0 && x.ClientRectOnScreen(window) == client;
  }, kStartTimeout);
  return window;
}

struct ViewCase {
  const char* name;
  std::vector<std::string> environment, args;
  const char* resources;  // the display's RESOURCE_MANAGER, or null
  const char* screen;
  Rect client, box;           // the client area on the screen, the view in it
  std::vector<KeySym> close;  // the keys that end it
  std::string note = "";      // the line on stderr
};
void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

class ScaledWindow : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ScaledWindow, ShowsEachPixelAsABlockWhereItIsAskedForAndEndsOnItsKeys) {
  const ViewCase& c = GetParam();
  XSession x(c.screen);
  if (c.resources != nullptr)
    XChangeProperty(x.Dpy(), DefaultRootWindow(x.Dpy()), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(c.resources), static_cast<int>(std::strlen(c.resources)));
  XSync(x.Dpy(), False);
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), c.args, c.environment);
  const Window window = RainWindow(x, c.client);
  ASSERT_NE(window, 0u) << ReadFile(x.Scratch() / "stderr.txt");
  EXPECT_EQ(x.ClientRectOnScreen(window), c.client);
  ExpectViewIn(x, window, c.box);
  x.PointAndPress(c.client[0] + 10, c.client[1] + 10, 0, c.close);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"), c.note.empty() ? "" : c.note + "\n");
}

constexpr Rect kTwice{2 * kLeft, 2 * kTop, 2 * kWidth, 2 * kHeight};
constexpr Rect kTwiceInPlace{0, 0, 2 * kWidth, 2 * kHeight};
INSTANTIATE_TEST_SUITE_P(
    AskedForTwo, ScaledWindow,
    ::testing::Values(
        ViewCase{"ScaleOption", {}, {"--scale", "2"}, nullptr, "2560x1600", kTwice, kTwiceInPlace, {XK_Control_L, XK_q}},
        ViewCase{"GdkScale", {"GDK_SCALE=2"}, {}, nullptr, "2560x1600", kTwice, kTwiceInPlace, {XK_Control_L, XK_w}},
        // At (500, 440) it would reach 148 pixels past the right edge, 350 past the bottom.
        ViewCase{"MovedInToFit", {"GDK_SCALE=2"}, {}, nullptr, "1920x1080", {352, 90, 2 * kWidth, 2 * kHeight},
                 kTwiceInPlace, {XK_Control_L, XK_q}},
        ViewCase{"XftDpi", {}, {}, "Xft.antialias:\t1\nXft.dpi:\t192\n", "2560x1600", kTwice, kTwiceInPlace,
                 {XK_Control_L, XK_q}},
        // A desktop at 1.5 times gets a window it can hold, rounded down.
        ViewCase{"XftDpiRoundedDown", {}, {}, "Xft.dpi:\t144\n", "1920x1080", kClient, {0, 0, kWidth, kHeight},
                 {XK_Control_L, XK_q}},
        ViewCase{"ScaleLoweredToFit", {}, {"--scale", "2"}, nullptr, "1366x768", kClient, {0, 0, kWidth, kHeight},
                 {XK_Control_L, XK_q}, "rainstorm: --scale 2 does not fit the screen's usable 1366 x 768; using 1"}),
    [](const auto& info) { return std::string(info.param.name); });

// A window as a screensaver or a preview pane makes it: another program's,
// which the program must neither take input from nor destroy.
Window MakeWindow(XSession& x, unsigned width, unsigned height) {
  const Window window = XCreateSimpleWindow(x.Dpy(), DefaultRootWindow(x.Dpy()), 0, 0, width, height, 0, 0, 0x808080);
  XMapWindow(x.Dpy(), window);
  XSync(x.Dpy(), False);
  return window;
}

void ExpectNoInputTaken(XSession& x, Window window) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(x.Dpy(), window, &attributes);
  EXPECT_EQ(attributes.all_event_masks & (KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                                          PointerMotionMask), 0);
  EXPECT_NE(attributes.all_event_masks & StructureNotifyMask, 0) << "its size changes go unseen";
}

// --- Filling a screen --------------------------------------------------------

// Where the picture lands in a window: its top-left pixel, and the size of
// the block each of its pixels is.
struct PictureAt {
  int x, y, n;
};
constexpr std::uint32_t kDropPixel = 0x9AD9EA, kFarDropPixel = 0xA4E3F4;

// The share of the figure a capture `width` pixels wide shows in place.
double FigureAt(const Pixels& capture, int width, PictureAt at) {
  std::size_t shown = 0;
  for (const auto& [x, y, colour] : Figure()) {
    const int cx = at.x + x * at.n, cy = at.y + y * at.n;
    const std::size_t i = static_cast<std::size_t>(cy * width + cx);
    shown += i < capture.size() && capture[i] == colour;
  }
  return static_cast<double>(shown) / static_cast<double>(Figure().size());
}

// How an area shows the scene: pixels unlike the first of their block on
// the picture's grid, and whether drops fall in its margins beside the
// picture, wherever they are wide.
struct Filled {
  int unlikeTheirBlock = 0;
  bool rainLeft = false, rainRight = false;
};
Filled FilledIn(const Pixels& capture, int width, const Rect& area, PictureAt at) {
  Filled filled;
  // Where the block holding v starts, on the grid through `from`, cut by
  // the area's edge at `edge`.
  const auto start = [n = at.n](int v, int from, int edge) { return std::max(v - ((v - from) % n + n) % n, edge); };
  for (int y = area[1]; y < area[1] + area[3]; ++y)
    for (int x = area[0]; x < area[0] + area[2]; ++x) {
      const std::uint32_t pixel = capture[static_cast<std::size_t>(y * width + x)];
      const int bx = start(x, at.x, area[0]), by = start(y, at.y, area[1]);
      filled.unlikeTheirBlock += pixel != capture[static_cast<std::size_t>(by * width + bx)];
      const bool drop = pixel == kDropPixel || pixel == kFarDropPixel;
      filled.rainLeft |= drop && x < at.x;
      filled.rainRight |= drop && x >= at.x + 800 * at.n;
    }
  return filled;
}

// Waits until each area of `window` shows the picture in place, then checks
// a few captures: whole blocks, rain in the margins, and the rain moving.
void ExpectFilled(XSession& x, Window window, const std::vector<std::pair<Rect, PictureAt>>& areas) {
  const int width = x.ClientRectOnScreen(window)[2];
  const auto placed = [&](const Pixels& capture) {
    return std::ranges::all_of(areas, [&](const auto& a) { return FigureAt(capture, width, a.second) >= 0.9; });
  };
  Pixels capture;
  ASSERT_TRUE(WaitUntil([&] { return placed(capture = x.Grab(window)); }, 10s)) << "the picture never showed in place";
  std::vector<Filled> seen(areas.size());
  for (int round = 0; round < 3; ++round) {
    std::this_thread::sleep_for(200ms);
    const Pixels next = x.Grab(window);
    EXPECT_NE(next, capture) << "the rain does not move";
    capture = next;
    EXPECT_TRUE(placed(capture));
    for (std::size_t i = 0; i < areas.size(); ++i) {
      const Filled filled = FilledIn(capture, width, areas[i].first, areas[i].second);
      EXPECT_EQ(filled.unlikeTheirBlock, 0) << "area " << i;
      seen[i].rainLeft |= filled.rainLeft;
      seen[i].rainRight |= filled.rainRight;
    }
  }
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const auto& [area, at] = areas[i];
    const bool wideLeft = at.x - area[0] >= 100, wideRight = area[0] + area[2] - at.x - 800 * at.n >= 100;
    EXPECT_TRUE(seen[i].rainLeft || !wideLeft) << "no rain left of the picture in area " << i;
    EXPECT_TRUE(seen[i].rainRight || !wideRight) << "no rain right of it in area " << i;
  }
}

struct FillCase {
  const char* name;
  const char* screen;
  std::vector<Rect> monitors;  // made with RandR; none: the screen is one
  bool windowManager;
  std::array<int, 2> pointer;
  std::vector<std::string> args;
  Rect client;  // where the window lands; for --root, the screen
  std::vector<std::pair<Rect, PictureAt>> areas;  // in the window
};
void PrintTo(const FillCase& c, std::ostream* os) { *os << c.name; }

class FilledScreen : public ::testing::TestWithParam<FillCase> {};

// The picture at the largest whole scale, centred and standing on the
// bottom of each monitor, and rain over every other pixel; the root window
// given back as it was.
TEST_P(FilledScreen, StandsThePictureOnEachMonitorsBottomAndRainsEverywhereElse) {
  const FillCase& c = GetParam();
  XSession x(c.screen);
  if (!c.monitors.empty()) x.SetMonitors(c.monitors);
  if (c.windowManager) x.StartWindowManager();
  x.PointAndPress(c.pointer[0], c.pointer[1], 0, {XK_Shift_L});
  const Window root = DefaultRootWindow(x.Dpy());
  const bool onRoot = c.args.front() == "--root";
  constexpr std::uint32_t kBackground = 0x203040;
  XSetWindowBackground(x.Dpy(), root, kBackground);
  XClearWindow(x.Dpy(), root);
  XSync(x.Dpy(), False);
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), c.args);
  const Window window = onRoot ? root : RainWindow(x, c.client);
  ASSERT_NE(window, 0u) << ReadFile(x.Scratch() / "stderr.txt");
  EXPECT_EQ(x.ClientRectOnScreen(window), c.client);
  ExpectFilled(x, window, c.areas);
  if (onRoot) ExpectNoInputTaken(x, root);
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(ReadFile(x.Scratch() / "stderr.txt"), "");
  EXPECT_TRUE(!onRoot || WaitUntil([&] {
    return std::ranges::all_of(x.Grab(root), [](std::uint32_t p) { return p == kBackground; });
  }, 5s)) << "the root window still shows the rain";
}

const std::vector<Rect> kTwoMonitors{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
INSTANTIATE_TEST_SUITE_P(
    Screens, FilledScreen,
    ::testing::Values(
        FillCase{"FullScreen", "1920x1080", {}, true, {10, 10}, {"--fullscreen"}, {0, 0, 1920, 1080},
                 {{{0, 0, 1920, 1080}, {160, 14, 2}}}},
        // The monitor the pointer is on, with a window manager and without.
        FillCase{"FullScreenFollowsThePointer", "3200x1080", kTwoMonitors, true, {2400, 300}, {"--fullscreen"},
                 {1920, 0, 1280, 1024}, {{{0, 0, 1280, 1024}, {240, 491, 1}}}},
        FillCase{"FullScreenWithoutWindowManager", "3200x1080", kTwoMonitors, false, {100, 300}, {"--fullscreen"},
                 {0, 0, 1920, 1080}, {{{0, 0, 1920, 1080}, {160, 14, 2}}}},
        FillCase{"RootEachMonitor", "3200x1080", kTwoMonitors, false, {10, 10}, {"--root"}, {0, 0, 3200, 1080},
                 {{{0, 0, 1920, 1080}, {160, 14, 2}}, {{1920, 0, 1280, 1024}, {2160, 491, 1}}}},
        FillCase{"RootLaptop", "1366x768", {}, false, {10, 10}, {"--root"}, {0, 0, 1366, 768},
                 {{{0, 0, 1366, 768}, {283, 235, 1}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// F11 fills the screen and gives the window back where it was; the window
// manager's own full screen fills it too.
TEST(FullScreenKey, FillsTheScreenAndGivesTheWindowBack) {
  XSession x("1920x1080");
  x.StartWindowManager();
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName());
  Window window = 0;
  ASSERT_NO_FATAL_FAILURE(WaitForRain(x, rain, window));
  const Rect screen{0, 0, 1920, 1080};
  const std::vector<std::pair<Rect, PictureAt>> filled{{screen, {160, 14, 2}}};
  const auto toggle = [&](KeySym key) { x.PointAndPress(kLeft + 400, kTop + 200, 0, {key}); };
  for (const bool byWindowManager : {false, true}) {
    if (byWindowManager)
      x.SetFullScreenState(window, true);
    else
      toggle(XK_F11);
    ASSERT_TRUE(WaitUntil([&] { return x.ClientRectOnScreen(window) == screen; }, 5s))
        << (byWindowManager ? "the window manager" : "F11") << " left it at " << testing::PrintToString(x.ClientRectOnScreen(window));
    ExpectFilled(x, window, filled);
    toggle(byWindowManager ? XK_F11 : XK_Escape);
    ASSERT_TRUE(WaitUntil([&] { return x.ClientRectOnScreen(window) == kClient; }, 5s))
        << "back at " << testing::PrintToString(x.ClientRectOnScreen(window));
    ExpectAnimatedFigureInPlace(x, window);
  }
  ASSERT_TRUE(rain.Running()) << "Escape ended a window that was only full screen";
}

TEST(ForeignWindow, FillsTheWindowAndFollowsItsSizeUntilSigterm) {
  XSession x("2560x1600");
  const Window window = MakeWindow(x, 1024, 768);
  std::ostringstream id;
  id << "0x" << std::hex << window;
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), {"--window-id", id.str()});
  ExpectFilled(x, window, {{{0, 0, 1024, 768}, {112, 235, 1}}});
  ExpectNoInputTaken(x, window);
  XResizeWindow(x.Dpy(), window, 1700, 1100);
  XSync(x.Dpy(), False);
  ExpectFilled(x, window, {{{0, 0, 1700, 1100}, {50, 34, 2}}});
  EXPECT_TRUE(x.TitledWindows().empty()) << "a window of its own appeared";
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0) << ReadFile(x.Scratch() / "stderr.txt");
  XWindowAttributes attributes{};
  EXPECT_NE(XGetWindowAttributes(x.Dpy(), window, &attributes), 0) << "the window went with the program";
}

// Windows that cannot be drawn in are refused by id, one line and status 1,
// the error box left out: nobody is there to answer it.  Odd ones that can
// be drawn in are used.
struct HostCase {
  const char* name;
  Window (*make)(XSession&);
  const char* error;  // a part of the one line; null: drawn in
};
void PrintTo(const HostCase& c, std::ostream* os) { *os << c.name; }

class HostWindow : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostWindow, IsRefusedByIdInOneLineOrDrawnIn) {
  const HostCase& c = GetParam();
  XSession x;
  const Window window = c.make(x);
  XSync(x.Dpy(), False);
  std::ostringstream id;
  id << "0x" << std::hex << window;
  ChildProcess rain = Launch(kProgram, x.Scratch(), x.DisplayName(), {"--window-id", id.str()});
  if (c.error == nullptr) {
    ExpectFilled(x, window, {{{0, 0, 1280, 1024}, {240, 491, 1}}});
    // Opaque where the window has an alpha channel.
    XWindowAttributes attributes{};
    XGetWindowAttributes(x.Dpy(), window, &attributes);
    XImage* image = XGetImage(x.Dpy(), window, 0, 0, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(XGetPixel(image, 0, 0) >> 24, attributes.depth == 32 ? 0xFFu : 0u);
    XDestroyImage(image);
    rain.Signal(SIGTERM);
    EXPECT_EQ(rain.WaitForExit(5s), 0);
    return;
  }
  EXPECT_EQ(rain.WaitForExit(kStartTimeout), 1);
  const std::string errors = ReadFile(x.Scratch() / "stderr.txt");
  EXPECT_EQ(support::Lines(errors).size(), 1u) << errors;
  EXPECT_NE(errors.find("window " + id.str() + ": " + c.error), std::string::npos) << errors;
  EXPECT_TRUE(x.TitledWindows().empty()) << "a window showed";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, HostWindow,
    ::testing::Values(
        HostCase{"Missing", [](XSession& x) {
          const Window gone = MakeWindow(x, 100, 100);
          XDestroyWindow(x.Dpy(), gone);
          return gone;
        }, "there is no such window"},
        HostCase{"InputOnly", [](XSession& x) {
          XSetWindowAttributes none{};
          const Window window = XCreateWindow(x.Dpy(), DefaultRootWindow(x.Dpy()), 0, 0, 300, 200, 0, 0, InputOnly,
                                              CopyFromParent, 0, &none);
          XMapWindow(x.Dpy(), window);
          return window;
        }, "it takes input only"},
        HostCase{"Pixmap", [](XSession& x) {
          return static_cast<Window>(XCreatePixmap(x.Dpy(), DefaultRootWindow(x.Dpy()), 64, 64, 24));
        }, "it is a picture (pixmap)"},
        HostCase{"RootById", [](XSession& x) { return DefaultRootWindow(x.Dpy()); }, nullptr},
        HostCase{"Depth32", [](XSession& x) {
          XVisualInfo info{};
          if (!XMatchVisualInfo(x.Dpy(), DefaultScreen(x.Dpy()), 32, TrueColor, &info)) return Window{0};
          XSetWindowAttributes attributes{};
          attributes.colormap = XCreateColormap(x.Dpy(), DefaultRootWindow(x.Dpy()), info.visual, AllocNone);
          const Window window = XCreateWindow(x.Dpy(), DefaultRootWindow(x.Dpy()), 0, 0, 1280, 1024, 0, 32,
                                              InputOutput, info.visual, CWColormap | CWBorderPixel, &attributes);
          XMapWindow(x.Dpy(), window);
          XSync(x.Dpy(), False);
          return window;
        }, nullptr}),
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
    const std::string errors = ReadFile(x.Scratch() / "stderr.txt");
    EXPECT_EQ(errors, "Rain: The window " + id.str() + " was destroyed by another program\n");
  }
}

// A preview smaller than the picture shows the window's view shrunk,
// nearest pixel, keeping its proportions, whether the screensaver names it
// in XSCREENSAVER_WINDOW or its settings add --window-id to --root.
TEST(ScreensaverWindow, ShowsThePreviewShrunkAndEndsWhenItIsDestroyed) {
  XSession x;
  for (const bool byOption : {false, true}) {
    const Window preview = MakeWindow(x, 200, 150);
    const std::string id = std::to_string(preview);
    ChildProcess inPreview =
        Launch(kProgram, x.Scratch(), x.DisplayName(),
               byOption ? std::vector<std::string>{"--root", "--window-id", id} : std::vector<std::string>{"--root"},
               byOption ? std::vector<std::string>{} : std::vector<std::string>{"XSCREENSAVER_WINDOW=" + id});
    ExpectViewIn(x, preview, {0, 12, 200, 126}, 0.8);
    XDestroyWindow(x.Dpy(), preview);
    XSync(x.Dpy(), False);
    EXPECT_EQ(inPreview.WaitForExit(5s), 0) << ReadFile(x.Scratch() / "stderr.txt");
  }
}

}  // namespace
