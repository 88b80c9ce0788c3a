// The real program in a private X server, watched and handled from outside as
// a user and a window manager would: its window, its animation, a click, a
// close request, a start without the picture and a start without a display.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "canvas.h"
#include "imagefile.h"

// Xlib's macros (None, Bool, Status) clash with names in the headers above.
#include "x_session.h"
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace fs = std::filesystem;

namespace {

const fs::path kProgram = RAIN_PROGRAM;
const fs::path kProgramWithoutPicture = RAIN_PROGRAM_WITHOUT_PICTURE;

constexpr Rect kClient{250, 220, 784, 495};
// A busy machine or a sanitized build starts the program slowly.
constexpr auto kStartTimeout = 20s;

std::string ExitDescription(std::optional<int> status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exit status " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return "killed by signal " + std::to_string(WTERMSIG(*status));
  return "wait status " + std::to_string(*status);
}

::testing::AssertionResult ExitedWith(std::optional<int> status, int code) {
  if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == code) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << ExitDescription(status);
}

// The picture's figure inside the client area: every pixel of the picture
// that differs from its transparent colour, with the colour it must show.
struct Figure {
  struct Point {
    int x, y;
    std::uint32_t colour;  // 0x00RRGGBB
  };
  std::vector<Point> points;

  Figure() {
    TBitmap picture;
    LoadBmpFile(picture, RAIN_PICTURE_BMP);
    const Pixel transparent = picture.TransparentPixel();
    for (int y = 0; y < std::min(kClient.height, picture.height()); ++y)
      for (int x = 0; x < std::min(kClient.width, picture.width()); ++x)
        if (picture.Row(y)[x] != transparent) points.push_back({x, y, picture.Row(y)[x] & 0xFFFFFFu});
  }

  // The share of the figure's pixels that the capture shows, moved by
  // (dx, dy).  Near drops fall in front of the figure, so a few of its
  // pixels are always covered.
  double ShareShown(const Capture& capture, int dx = 0, int dy = 0) const {
    if (capture.width != kClient.width || capture.height != kClient.height || points.empty()) return 0;
    std::size_t shown = 0;
    for (const auto& [x, y, colour] : points) {
      const int cx = x + dx, cy = y + dy;
      shown += cx >= 0 && cy >= 0 && cx < capture.width && cy < capture.height && capture.At(cx, cy) == colour;
    }
    return static_cast<double>(shown) / static_cast<double>(points.size());
  }
};

const Figure& TheFigure() {
  static const Figure figure;
  return figure;
}

// The figure's shades are broad, so a figure one pixel off still matches
// most of its pixels: it must match best exactly in place, and well.
::testing::AssertionResult FigureInPlace(const Capture& capture) {
  const double inPlace = TheFigure().ShareShown(capture);
  if (inPlace < 0.9) return ::testing::AssertionFailure() << "only " << inPlace << " of the figure shows";
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if ((dx != 0 || dy != 0) && TheFigure().ShareShown(capture, dx, dy) >= inPlace)
        return ::testing::AssertionFailure() << "the figure shows better moved by (" << dx << ", " << dy << ")";
  return ::testing::AssertionSuccess();
}

std::size_t PixelsThatDiffer(const Capture& a, const Capture& b) {
  if (a.pixels.size() != b.pixels.size()) return std::max(a.pixels.size(), b.pixels.size());
  std::size_t differ = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) differ += a.pixels[i] != b.pixels[i];
  return differ;
}

std::string DesktopEntryValue(const std::string& key) {
  std::istringstream entry(ReadFile(RAIN_DESKTOP_ENTRY));
  for (std::string line; std::getline(entry, line);)
    if (line.starts_with(key + "=")) return line.substr(key.size() + 1);
  return "";
}

// The program started in its own X server, with its window found and its
// first frames painted.
class RainWindow : public ::testing::Test {
 protected:
  void Start() {
    rain_.emplace(x_.Launch(kProgram));
    const auto found = x_.WaitForWindow("Rain", kStartTimeout);
    ASSERT_TRUE(found) << "no window \"Rain\" appeared; program " << ExitDescription(rain_->WaitForExit(0s))
                       << ", stderr: " << ReadFile(x_.StderrFile());
    window_ = *found;
    ASSERT_TRUE(WaitUntil([this] { return TheFigure().ShareShown(x_.Grab(window_)) >= 0.5; }, 10s))
        << "the figure never showed in the window";
  }

  // Two captures far enough apart for the rain to have moved.
  std::pair<Capture, Capture> TwoCaptures() {
    Capture first = x_.Grab(window_);
    std::this_thread::sleep_for(300ms);
    return {std::move(first), x_.Grab(window_)};
  }

  void ExpectAnimatedFigureInPlace() {
    const auto [first, second] = TwoCaptures();
    EXPECT_TRUE(FigureInPlace(first));
    EXPECT_TRUE(FigureInPlace(second));
    EXPECT_GT(PixelsThatDiffer(first, second), 100u) << "the rain does not move";
  }

  XSession x_;
  std::optional<ChildProcess> rain_;
  Window window_ = 0;
};

TEST_F(RainWindow, ShowsFixedSizeClientAreaAtItsPlaceWithIconAndDesktopClass) {
  Start();
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(x_.ClientRectOnScreen(window_), kClient);

  XSizeHints hints{};
  long supplied = 0;
  ASSERT_NE(XGetWMNormalHints(x_.Dpy(), window_, &hints, &supplied), 0) << "no WM_NORMAL_HINTS";
  ASSERT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize)) << "the size is not fixed";
  EXPECT_EQ(hints.min_width, kClient.width);
  EXPECT_EQ(hints.min_height, kClient.height);
  EXPECT_EQ(hints.max_width, kClient.width);
  EXPECT_EQ(hints.max_height, kClient.height);

  // _NET_WM_ICON holds width, height, then ARGB pixels; our icon is the
  // 32 x 32 sixteen-colour one.
  const std::vector<long> icon = x_.CardinalProperty(window_, "_NET_WM_ICON");
  ASSERT_GE(icon.size(), 2u + 32 * 32) << "no icon on the window";
  EXPECT_EQ(icon[0], 32);
  EXPECT_EQ(icon[1], 32);
  const std::set<long> colours(icon.begin() + 2, icon.begin() + 2 + 32 * 32);
  EXPECT_GE(colours.size(), 2u) << "the icon is blank";
  EXPECT_LE(colours.size(), 16u);

  // Desktops match the window to its desktop entry by class.
  XClassHint classHint{};
  ASSERT_NE(XGetClassHint(x_.Dpy(), window_, &classHint), 0) << "no WM_CLASS";
  const std::string windowClass = classHint.res_class;
  XFree(classHint.res_name);
  XFree(classHint.res_class);
  EXPECT_EQ(windowClass, DesktopEntryValue("StartupWMClass"));
}

TEST_F(RainWindow, AnimatesWhileTheFigureStaysInPlace) {
  Start();
  ASSERT_FALSE(HasFatalFailure());
  ExpectAnimatedFigureInPlace();
}

TEST_F(RainWindow, ClicksChangeNothingAndTheProgramKeepsRunning) {
  Start();
  ASSERT_FALSE(HasFatalFailure());
  // On the figure, on the sky, and with each button.
  const std::pair<int, int> spots[] = {{400, 400}, {50, 50}, {783, 494}};
  for (const auto& [x, y] : spots) {
    x_.MovePointer(kClient.x + x, kClient.y + y);
    for (unsigned button : {1u, 2u, 3u}) x_.Click(button);
  }
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(rain_->Running()) << ExitDescription(rain_->WaitForExit(0s));
  EXPECT_EQ(x_.ClientRectOnScreen(window_), kClient);
  EXPECT_EQ(x_.TitledWindows().size(), 1u) << "a click opened another window";
  ExpectAnimatedFigureInPlace();
}

TEST_F(RainWindow, CloseRequestEndsItWithStatusZeroWithinTwoSeconds) {
  Start();
  ASSERT_FALSE(HasFatalFailure());
  const auto protocols = x_.AtomListProperty(window_, "WM_PROTOCOLS");
  ASSERT_NE(std::find(protocols.begin(), protocols.end(), "WM_DELETE_WINDOW"), protocols.end())
      << "the window does not take close requests";
  x_.SendDeleteWindow(window_);
  const auto status = rain_->WaitForExit(2s);
  EXPECT_TRUE(ExitedWith(status, 0)) << "stderr: " << ReadFile(x_.StderrFile());
}

// A window manager puts a frame around the window; the client area itself
// must still land at its place, and the frame must offer no way to resize
// or maximise it.
TEST_F(RainWindow, UnderAWindowManagerKeepsItsPlaceAndOffersOnlyMinimiseAndClose) {
  x_.StartWindowManager();
  Start();
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(WaitUntil([this] { return x_.CardinalProperty(window_, "_NET_FRAME_EXTENTS").size() == 4; }, 5s));
  const auto extents = x_.CardinalProperty(window_, "_NET_FRAME_EXTENTS");
  ASSERT_GT(extents[2], 0) << "the window manager drew no title bar; nothing to check";

  Rect client;
  WaitUntil(
      [&] {
        client = x_.ClientRectOnScreen(window_);
        return client == kClient;
      },
      3s);
  EXPECT_EQ(client, kClient);

  const auto actions = x_.AtomListProperty(window_, "_NET_WM_ALLOWED_ACTIONS");
  const auto allows = [&](const char* action) {
    return std::find(actions.begin(), actions.end(), action) != actions.end();
  };
  EXPECT_TRUE(allows("_NET_WM_ACTION_MINIMIZE"));
  EXPECT_TRUE(allows("_NET_WM_ACTION_CLOSE"));
  EXPECT_FALSE(allows("_NET_WM_ACTION_RESIZE"));
  EXPECT_FALSE(allows("_NET_WM_ACTION_MAXIMIZE_HORZ"));
  EXPECT_FALSE(allows("_NET_WM_ACTION_MAXIMIZE_VERT"));

  x_.AskWindowManagerToClose(window_);
  const auto status = rain_->WaitForExit(2s);
  EXPECT_TRUE(ExitedWith(status, 0)) << "stderr: " << ReadFile(x_.StderrFile());
}

// The text a program drew, from an X protocol trace of its requests.
std::string DrawnText(const std::string& trace) {
  static const std::regex kText(R"((?:PolyText8|ImageText8) .*?(?:\bs|string)='([^']*)')");
  std::string text;
  std::istringstream lines(trace);
  std::smatch match;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, match, kText)) text += match[1].str();
  return text;
}

TEST(MissingPicture, ShowsOneMessageNamingTheResourceAndExitsWithStatusOne) {
  XSession x;
  // The program talks to the server through xtrace, which records the text
  // the message box draws.  Its display number follows from our server's, so
  // no live proxy can have it; xtrace leaves its socket behind when it ends.
  const int traceDisplay = x.DisplayNumber() + 1000;
  const fs::path traceSocket = "/tmp/.X11-unix/X" + std::to_string(traceDisplay);
  fs::remove(traceSocket);
  const fs::path trace = x.Scratch() / "trace.txt";
  ChildProcess tracer({"xtrace", "-n", "-k", "-d", x.DisplayName(), "-D", DisplayNameOf(traceDisplay), "-o",
                       trace.string()},
                      {}, x.Scratch(), x.Scratch() / "xtrace.log");
  struct RemoveSocket {
    fs::path path;
    ~RemoveSocket() { std::error_code ignored; fs::remove(path, ignored); }
  } removeSocket{traceSocket};
  ASSERT_TRUE(WaitUntil(
      [&] {
        Display* probe = XOpenDisplay(DisplayNameOf(traceDisplay).c_str());
        if (probe != nullptr) XCloseDisplay(probe);
        return probe != nullptr;
      },
      10s))
      << "xtrace did not start: " << ReadFile(x.Scratch() / "xtrace.log");

  ChildProcess rain = x.Launch(kProgramWithoutPicture, DisplayNameOf(traceDisplay));
  std::set<Window> messageWindows;
  std::set<std::string> titles;
  std::size_t mostAtOnce = 0;
  bool dismissed = false;
  const auto end = Clock::now() + kStartTimeout;
  while (rain.Running() && Clock::now() < end) {
    const auto windows = x.TitledWindows();
    mostAtOnce = std::max(mostAtOnce, windows.size());
    for (const auto& [window, title] : windows) {
      messageWindows.insert(window);
      titles.insert(title);
    }
    if (!dismissed && windows.size() == 1) {
      // Let it draw, then do what a user does: point at it and press Enter.
      std::this_thread::sleep_for(300ms);
      const Rect box = x.ClientRectOnScreen(windows[0].first);
      x.MovePointer(box.x + box.width / 2, box.y + box.height / 2);
      x.PressKey(XK_Return);
      dismissed = true;
    }
    std::this_thread::sleep_for(20ms);
  }
  const auto status = rain.WaitForExit(5s);

  EXPECT_FALSE(titles.contains("Rain")) << "the main window was shown";
  EXPECT_EQ(messageWindows.size(), 1u) << "expected exactly one message window";
  EXPECT_EQ(mostAtOnce, 1u);
  EXPECT_TRUE(dismissed) << "no message appeared; stderr: " << ReadFile(x.StderrFile());
  std::string text = DrawnText(ReadFile(trace));
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  EXPECT_NE(text.find("princess"), std::string::npos) << "the message does not name the resource: " << text;
  EXPECT_TRUE(ExitedWith(status, 1)) << "stderr: " << ReadFile(x.StderrFile());
}

class WithoutDisplay : public ::testing::TestWithParam<fs::path> {};

TEST_P(WithoutDisplay, WritesTheMessageToStderrAndExitsWithStatusOne) {
  TempFolder folder;
  const fs::path errors = folder.Path() / "stderr.txt";
  ChildProcess rain({GetParam().string()},
                    {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEODRIVER", ""}}, folder.Path(), errors);
  const auto status = rain.WaitForExit(kStartTimeout);
  EXPECT_TRUE(ExitedWith(status, 1));
  const std::string text = ReadFile(errors);
  EXPECT_FALSE(text.empty()) << "nothing on stderr";
  EXPECT_TRUE(text.ends_with("\n")) << text;
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, WithoutDisplay, ::testing::Values(kProgram, kProgramWithoutPicture),
                         [](const auto& info) { return info.index == 0 ? "Program" : "ProgramWithoutPicture"; });

}  // namespace
