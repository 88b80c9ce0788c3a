// The Wayland backend showing the real scene on a headless compositor, in a
// program started as a user starts one inside a Wayland session and watched
// from outside: the window's frames at each output scale, full screen, the
// keys, the compositor's close, hidden and shown again, the background of
// every output, and the compositor going away under it.  RAIN_PROGRAM is
// the program that drives the backend.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <thread>

#include "tests/support/rain_view.h"
#include "tests/support/wayland_session.h"
// Last: Xlib's macros clash with names in the headers above.
#include "tests/support/x_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using support::Capture;
using support::ChildProcess;
using support::Compositor;
using support::ReadFile;
using support::Rect;
using support::ShownIn;
using support::Sway;
using support::WaitUntil;
using support::Weston;

const fs::path kProgram = RAIN_PROGRAM;
constexpr int kWidth = support::kViewWidth, kHeight = support::kViewHeight;
constexpr auto kStartTimeout = 20s;
constexpr const char* kAppId = "io.github.rain.Rain";
const std::string kRain = "[app_id=" + std::string(kAppId) + "]";  // sway's criteria for the window

#define SKIP_WITHOUT(Compositor)                                                               \
  if (const std::string missing = Compositor::MissingPrograms(); !missing.empty()) \
  GTEST_SKIP() << "not installed: " << missing

ChildProcess StartRain(Compositor& compositor, const std::vector<std::string>& args = {},
                       std::vector<std::string> environment = {}) {
  const auto wayland = compositor.Environment();
  environment.insert(environment.end(), wayland.begin(), wayland.end());
  return support::Launch(kProgram, compositor.Scratch() / "rain", "", args, environment);
}

std::string ErrorsOf(Compositor& compositor) { return ReadFile(compositor.Scratch() / "rain" / "stderr.txt"); }

// The smallest box holding every pixel for which `inside` holds.
template <class Inside>
Rect Bounds(const Capture& capture, Inside inside) {
  int left = capture.width, top = capture.height, right = 0, bottom = 0;
  for (int y = 0; y < capture.height; ++y)
    for (int x = 0; x < capture.width; ++x)
      if (inside(static_cast<std::size_t>(y) * capture.width + x))
        left = std::min(left, x), top = std::min(top, y), right = std::max(right, x + 1), bottom = std::max(bottom, y + 1);
  return right > left ? Rect{left, top, right - left, bottom - top} : Rect{};
}

std::size_t Differences(const Capture& a, const Capture& b) {
  if (a.pixels.size() != b.pixels.size()) return a.pixels.size() + b.pixels.size();
  return std::transform_reduce(a.pixels.begin(), a.pixels.end(), b.pixels.begin(), std::size_t{0}, std::plus<>(),
                               std::not_equal_to<>());
}

// Waits until every view shows in its box of a capture, then checks further
// captures for moving rain, whole blocks and the figure in place.
template <class Shoot>
void ExpectAnimated(Shoot shoot, const std::vector<std::pair<Rect, Rect>>& views) {
  Capture capture;
  const auto placed = [&](const auto& view) {
    return ShownIn(capture.pixels, capture.width, view.first, view.second).figure >= 0.9;
  };
  ASSERT_TRUE(WaitUntil([&] { return capture = shoot(), std::ranges::all_of(views, placed); }, 10s))
      << "the figure never showed in place: "
      << ShownIn(capture.pixels, capture.width, views[0].first, views[0].second).figure << " of it in "
      << views[0].second[0] << ", " << views[0].second[1] << ", " << views[0].second[2] << " x " << views[0].second[3];
  for (int round = 0; round < 3; ++round) {
    std::this_thread::sleep_for(200ms);
    const Capture next = shoot();
    EXPECT_GT(Differences(next, capture), 100u) << "the rain does not move";
    capture = next;
    for (const auto& [area, box] : views) {
      const support::Shown shown = ShownIn(capture.pixels, capture.width, area, box);
      EXPECT_GE(shown.figure, 0.9);
      EXPECT_EQ(shown.unlikeTheirBlock, 0) << "pixels unlike their block";
    }
  }
}

// --- weston: output scales, no seat, no layer shell -------------------------

class WestonWindow : public ::testing::TestWithParam<int> {};

// weston enlarges nothing of ours: at output scale 2 the buffer is in device
// pixels, each view pixel painted as a 2 x 2 block.
TEST_P(WestonWindow, ShowsTheAnimationInWholeBlocksOfTheOutputScale) {
  SKIP_WITHOUT(Weston);
  const int scale = GetParam();
  Weston weston(RAIN_WESTON_SHOT, 1280, 800, scale);
  ChildProcess rain = StartRain(weston);
  // Only our opaque buffer leaves the alpha byte 0; weston places the window.
  Capture capture;
  Rect box;
  ASSERT_TRUE(WaitUntil([&] {
    capture = weston.Screenshot();
    box = Bounds(capture, [&](std::size_t i) { return capture.alpha[i] == 0; });
    return box[2] == kWidth * scale && box[3] == kHeight * scale;
  }, kStartTimeout)) << "no " << kWidth * scale << " x " << kHeight * scale << " window; "
                     << box[2] << " x " << box[3] << "; " << ErrorsOf(weston);
  ExpectAnimated([&] { return weston.Screenshot(); }, {{box, box}});
  EXPECT_TRUE(rain.Running());
  EXPECT_EQ(ErrorsOf(weston), "");
}

INSTANTIATE_TEST_SUITE_P(OutputScales, WestonWindow, ::testing::Values(1, 2),
                         [](const auto& info) { return "Scale" + std::to_string(info.param); });

// Every pixel of the output is ours, the picture standing on its bottom row.
TEST(WestonFullScreen, FillsTheOutputWithRain) {
  SKIP_WITHOUT(Weston);
  Weston weston(RAIN_WESTON_SHOT, 1280, 720);
  ChildProcess rain = StartRain(weston, {"--fullscreen"});
  Capture capture;
  ASSERT_TRUE(WaitUntil([&] {
    capture = weston.Screenshot();
    return std::ranges::count(capture.alpha, 0) == 1280 * 720;
  }, kStartTimeout)) << "the output is not filled; " << (rain.Running() ? "running; " : "ended; ") << ErrorsOf(weston);
  const Rect output{0, 0, 1280, 720};
  ExpectAnimated([&] { return weston.Screenshot(); }, {{output, {240, 187, kWidth, kHeight}}});
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(ErrorsOf(weston), "");
}

TEST(WestonRoot, SaysInOneLineThatThereIsNoBackgroundLayerAndExitsWithStatusOne) {
  SKIP_WITHOUT(Weston);
  Weston weston(RAIN_WESTON_SHOT, 1280, 720);
  ChildProcess rain = StartRain(weston, {"--root"});
  EXPECT_EQ(rain.WaitForExit(kStartTimeout), 1);
  const auto lines = support::Lines(ErrorsOf(weston));
  ASSERT_EQ(lines.size(), 1u) << ErrorsOf(weston);
  EXPECT_NE(lines[0].find("wlr-layer-shell"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(weston.SocketPath()), std::string::npos) << lines[0];
}

// --- sway: a seat, full screen, hiding, outputs, the layer shell -----------

// The window's content in output pixels, as sway's tree says; empty until
// it is mapped.
Rect RainRect(Sway& sway) {
  Rect found{};
  const std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& node) {
    if (node.value("app_id", nlohmann::json()).is_string() && node["app_id"] == kAppId) {
      const auto& rect = node["rect"];
      const auto& inner = node["window_rect"];
      found = {rect["x"].get<int>() + inner["x"].get<int>(), rect["y"].get<int>() + inner["y"].get<int>(),
               inner["width"].get<int>(), inner["height"].get<int>()};
    }
    for (const char* children : {"nodes", "floating_nodes"})
      if (node.contains(children))
        for (const auto& child : node[children]) walk(child);
  };
  const nlohmann::json tree = nlohmann::json::parse(sway.Msg({"-t", "get_tree", "-r"}), nullptr, false);
  if (!tree.is_discarded()) walk(tree);
  return found;
}

// The window's content once it has `size` and stays where it is: sway's
// tree takes a moment to settle as a window leaves full screen.
Rect WaitForWindow(Sway& sway, const Rect& size) {
  Rect rect{}, before{};
  WaitUntil([&] {
    before = rect;
    rect = RainRect(sway);
    if (rect != before) std::this_thread::sleep_for(200ms);
    return rect == before && rect[2] == size[2] && rect[3] == size[3];
  }, kStartTimeout);
  return rect;
}

struct Ending {
  const char* name;
  std::vector<std::string> args;
  std::function<void(Sway&)> end;
};
void PrintTo(const Ending& e, std::ostream* os) { *os << e.name; }

class SwayEnding : public ::testing::TestWithParam<Ending> {};

TEST_P(SwayEnding, EndsTheProgramWithStatusZero) {
  SKIP_WITHOUT(Sway);
  Sway sway;
  ChildProcess rain = StartRain(sway, GetParam().args);
  const bool full = !GetParam().args.empty();
  const Rect rect = WaitForWindow(sway, full ? Rect{0, 0, 1280, 720} : Rect{0, 0, kWidth, kHeight});
  ASSERT_GT(rect[2], 0) << "no window; " << ErrorsOf(sway);
  std::this_thread::sleep_for(300ms);  // the keyboard's focus reaches it
  GetParam().end(sway);
  EXPECT_EQ(rain.WaitForExit(5s), 0) << ErrorsOf(sway);
  EXPECT_EQ(ErrorsOf(sway), "");
}

INSTANTIATE_TEST_SUITE_P(
    KeysAndClose, SwayEnding,
    ::testing::Values(Ending{"CtrlQ", {}, [](Sway& s) { s.Type({"-M", "ctrl", "q", "-m", "ctrl"}); }},
                      Ending{"CtrlW", {}, [](Sway& s) { s.Type({"-M", "ctrl", "w", "-m", "ctrl"}); }},
                      Ending{"CompositorClose", {}, [](Sway& s) { s.Msg({kRain, "kill"}); }},
                      Ending{"EscapeInFullScreen", {"--fullscreen"}, [](Sway& s) { s.Type({"-k", "Escape"}); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwayWindow, ShowsTheAnimationAndF11FillsTheOutputAndGivesTheWindowBack) {
  SKIP_WITHOUT(Sway);
  Sway sway;
  ChildProcess rain = StartRain(sway);
  Rect rect = WaitForWindow(sway, {0, 0, kWidth, kHeight});
  ASSERT_GT(rect[2], 0) << "no window; " << ErrorsOf(sway);
  ExpectAnimated([&] { return sway.Screenshot(); }, {{rect, rect}});

  std::this_thread::sleep_for(300ms);  // the keyboard's focus reaches it
  sway.Type({"-k", "F11"});
  // 1280 x 720: the picture at 1x, centred, on the bottom row.
  const Rect output{0, 0, 1280, 720};
  ASSERT_EQ(WaitForWindow(sway, output)[2], 1280) << ErrorsOf(sway);
  ExpectAnimated([&] { return sway.Screenshot(); }, {{output, {240, 187, kWidth, kHeight}}});

  sway.Type({"-k", "F11"});
  rect = WaitForWindow(sway, {0, 0, kWidth, kHeight});
  ASSERT_EQ(rect[2], kWidth) << "the window did not come back";
  ExpectAnimated([&] { return sway.Screenshot(); }, {{rect, rect}});
  EXPECT_EQ(ErrorsOf(sway), "");
}

// Where an output lies among the others, in the compositor's coordinates.
Rect OutputRect(Sway& sway, const std::string& name) {
  const nlohmann::json outputs = nlohmann::json::parse(sway.Msg({"-t", "get_outputs", "-r"}), nullptr, false);
  if (outputs.is_array())
    for (const auto& output : outputs)
      if (output.value("name", "") == name) {
        const auto& rect = output["rect"];
        return {rect["x"].get<int>(), rect["y"].get<int>(), rect["width"].get<int>(), rect["height"].get<int>()};
      }
  return {};
}

// Moved to an output of scale 2, the window is drawn again in its device
// pixels, each view pixel a 2 x 2 block.  sway would enlarge a buffer of
// scale 1 to the same blocks, so the trace of requests says which it got.
TEST(SwayWindow, MovedToAnOutputOfAnotherScaleIsDrawnAtThatScale) {
  SKIP_WITHOUT(Sway);
  Sway sway;
  sway.Msg({"create_output"});  // HEADLESS-2, 1920 x 1080
  sway.Msg({"output", "HEADLESS-2", "scale", "2"});
  ChildProcess rain = StartRain(sway, {}, {"WAYLAND_DEBUG=client"});
  ASSERT_GT(WaitForWindow(sway, {0, 0, kWidth, kHeight})[2], 0) << "no window; " << ErrorsOf(sway);
  sway.Msg({kRain, "move", "output", "HEADLESS-2"});
  const Rect output = OutputRect(sway, "HEADLESS-2");
  Rect rect{};
  ASSERT_TRUE(WaitUntil([&] { return rect = RainRect(sway), rect[0] >= output[0] && rect[2] == kWidth; }, 5s));
  const std::regex doubled(R"(create_buffer\(new id wl_buffer@\d+, 0, 1568, 990, 6272, 1\))");
  EXPECT_TRUE(WaitUntil([&] { return std::regex_search(ErrorsOf(sway), doubled); }, 5s)) << "no 1568 x 990 buffer";
  EXPECT_NE(ErrorsOf(sway).find("set_buffer_scale(2)"), std::string::npos);
  const Rect box{2 * (rect[0] - output[0]), 2 * (rect[1] - output[1]), 2 * kWidth, 2 * kHeight};
  ExpectAnimated([&] { return sway.Screenshot("HEADLESS-2"); }, {{box, box}});
}

struct Hiding {
  const char* name;
  std::vector<std::string> hide, show;
};
void PrintTo(const Hiding& h, std::ostream* os) { *os << h.name; }

class SwayHidden : public ::testing::TestWithParam<Hiding> {};

// What that saves is measured by bench/, not here.
TEST_P(SwayHidden, PresentsNothingAndSleepsUntilShownAgain) {
  SKIP_WITHOUT(Sway);
  Sway sway;
  // libwayland's own trace names every request: a present asks for a frame.
  ChildProcess rain = StartRain(sway, {}, {"WAYLAND_DEBUG=client"});
  const std::regex frameRequest(R"(-> wl_surface@\d+\.frame\()");
  const auto presents = [&] {
    const std::string trace = ErrorsOf(sway);
    return std::distance(std::sregex_iterator(trace.begin(), trace.end(), frameRequest), std::sregex_iterator());
  };
  ASSERT_TRUE(WaitUntil([&] { return presents() > 10; }, kStartTimeout)) << "never presented";
  for (int round = 0; round < 2; ++round) {
    sway.Msg(GetParam().hide);
    std::this_thread::sleep_for(1s);  // no frames come: it notices
    const auto before = presents();
    const long sleptBefore = support::Wakeups(rain.Pid());
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(presents(), before) << "round " << round << ": frames presented while hidden";
    // Running, its timer wakes it 64 times a second.
    EXPECT_LT(support::Wakeups(rain.Pid()) - sleptBefore, 10) << "round " << round << ": it did not sleep";
    sway.Msg(GetParam().show);
    const auto hidden = presents();
    EXPECT_TRUE(WaitUntil([&] { return presents() > hidden + 5; }, 1s)) << "round " << round << ": not drawn";
  }
  EXPECT_TRUE(rain.Running());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, SwayHidden,
    ::testing::Values(Hiding{"Scratchpad", {kRain, "move", "scratchpad"}, {kRain, "scratchpad", "show"}},
                      Hiding{"OtherWorkspace", {"workspace", "2"}, {"workspace", "1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwayRoot, FillsTheBackgroundOfEveryOutputAndOfOneAddedLater) {
  SKIP_WITHOUT(Sway);
  Sway sway;
  sway.Msg({"create_output"});  // HEADLESS-2, 1920 x 1080
  ChildProcess rain = StartRain(sway, {"--root"});
  // Each output its own scene, the picture standing on its bottom row.
  const Rect laptop{0, 0, 1280, 720}, fullHd{0, 0, 1920, 1080};
  ExpectAnimated([&] { return sway.Screenshot("HEADLESS-1"); }, {{laptop, {240, 187, kWidth, kHeight}}});
  ExpectAnimated([&] { return sway.Screenshot("HEADLESS-2"); }, {{fullHd, {160, 14, 2 * kWidth, 2 * kHeight}}});

  sway.Msg({"create_output"});  // HEADLESS-3, while it runs
  ExpectAnimated([&] { return sway.Screenshot("HEADLESS-3"); }, {{fullHd, {160, 14, 2 * kWidth, 2 * kHeight}}});
  // An output switched off asks for no more frames; the others go on.
  sway.Msg({"output", "HEADLESS-2", "disable"});
  std::this_thread::sleep_for(1s);
  ExpectAnimated([&] { return sway.Screenshot("HEADLESS-1"); }, {{laptop, {240, 187, kWidth, kHeight}}});

  rain.Signal(SIGINT);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(ErrorsOf(sway), "");
}

// --- the compositor going away ------------------------------------------

template <class Kind>
void ExpectEndsWhenKilled(Kind& compositor) {
  ChildProcess rain = StartRain(compositor);
  std::this_thread::sleep_for(1s);
  ASSERT_TRUE(rain.Running()) << ErrorsOf(compositor);
  compositor.Kill();
  const auto killed = support::Clock::now();
  EXPECT_EQ(rain.WaitForExit(5s), 1);
  EXPECT_LT(support::Clock::now() - killed, 1s);
  EXPECT_EQ(ErrorsOf(compositor), "Rain: lost the connection to the Wayland display '" +
                                       compositor.SocketPath() + "'\n");
}

TEST(CompositorKilled, SwayEndsTheProgramWithOneLineAndStatusOne) {
  SKIP_WITHOUT(Sway);
  Sway sway;
  ExpectEndsWhenKilled(sway);
}

TEST(CompositorKilled, WestonEndsTheProgramWithOneLineAndStatusOne) {
  SKIP_WITHOUT(Weston);
  Weston weston(RAIN_WESTON_SHOT, 1280, 720);
  ExpectEndsWhenKilled(weston);
}

}  // namespace
