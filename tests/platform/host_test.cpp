// The loop and its rules over a scripted display: how it ends, what it
// presents and when, being unseen, the views following the areas, and the
// keys.

#include "platform/host.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/fake_backend.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using platform::Event;
using platform::Key;
using platform::Presentation;
using support::Said;

constexpr drawing::Pixel kBackground = 0x000080;
constexpr drawing::Pixel kPaint = 0xFF0000;

// A host over a scripted display, with a timer of 1 ms whose ticks run
// onTick unless `timers` replaces it, and a count of each hook.
class HostTest : public ::testing::Test {
 protected:
  platform::Host& Make(Presentation::Kind kind = Presentation::kWindow, drawing::Size client = {40, 30},
                       std::function<Clock::time_point()> timers = nullptr) {
    due_ = Clock::now() + 1ms;
    if (!timers) timers = [this] { return Tick(); };
    host_ = std::make_unique<platform::Host>(
        backend_, Presentation{.kind = kind}, canvas_, client, kBackground,
        platform::HostHooks{.layout = [this](drawing::Size area) {
                              laidOutFor_.push_back(area);
                              return drawing::Placement{area, {0, 0, area.width, area.height}};
                            },
                            .resized = [this] { ++resized_; },
                            .seen = [this] { ++seen_; },
                            .unseen = [this] { ++unseen_; },
                            .click = [this] { ++clicks_; },
                            .programKey = [this](Key key) { programKeys_.push_back(key); },
                            .close =
                                [this] {
                                  ++closes_;
                                  host_->Stop();
                                },
                            .timers = std::move(timers)});
    return *host_;
  }

  Clock::time_point Tick() {
    if (Clock::now() < due_) return due_;
    due_ = Clock::now() + 1ms;
    ++ticks_;
    if (onTick_) onTick_(ticks_);
    return due_;
  }

  void Paint(int x, int y) {
    canvas_.Pen->Color = 0x0000FF;  // TColor: blue byte last
    canvas_.Brush->Color = 0x0000FF;
    canvas_.Rectangle(x, y, x + 1, y + 1);
  }

  drawing::Pixel At(int x, int y) const { return record_->pixels[y * record_->size.width + x]; }

  std::shared_ptr<support::FakeBackend::Record> record_ = std::make_shared<support::FakeBackend::Record>();
  support::FakeBackend backend_{record_};
  TCanvas canvas_;
  Clock::time_point due_;
  std::function<void(int tick)> onTick_;
  std::unique_ptr<platform::Host> host_;
  std::vector<drawing::Size> laidOutFor_;
  std::vector<Key> programKeys_;
  int ticks_ = 0, resized_ = 0, seen_ = 0, unseen_ = 0, clicks_ = 0, closes_ = 0;
};

TEST_F(HostTest, EndsOnCloseAskedCloseKeysAndTheHostWindowGoingAndNothingElse) {
  const platform::Modifiers ctrl{.ctrl = true};
  const struct {
    const char* what;
    Presentation::Kind kind;
    std::vector<Event> round;
    int closes;  // 0: ends without the close hook, -1: does not end
  } cases[] = {
      {"close asked", Presentation::kWindow, {Said(Event::kCloseAsked)}, 1},
      {"Ctrl+Q", Presentation::kWindow, {Said(Event::kKeyDown, Key::kQ, ctrl)}, 1},
      {"Escape in full screen", Presentation::kFullScreen, {Said(Event::kKeyDown, Key::kEscape)}, 1},
      {"host window gone", Presentation::kHostWindow, {Said(Event::kHostGone)}, 0},
      {"a click", Presentation::kWindow, {Said(Event::kClick)}, -1},
  };
  for (const auto& c : cases) {
    closes_ = ticks_ = 0;
    platform::Host& host = Make(c.kind);
    host.Open({});
    record_->rounds = {c.round};
    onTick_ = [&](int tick) {
      if (tick == 5) host.Stop();
    };
    host.Run();
    EXPECT_EQ(closes_, std::max(c.closes, 0)) << c.what;
    EXPECT_EQ(ticks_, c.closes < 0 ? 5 : 0) << c.what << ": the loop went on after it should have ended";
  }
}

TEST_F(HostTest, ASignalEndsTheLoop) {
  // In a process of its own: the signal's note and its pipe stay for good.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        platform::CatchEndingSignals();
        platform::Host& host = Make();
        host.Open({});
        onTick_ = [](int tick) {
          if (tick == 3) raise(SIGTERM);
          if (tick == 50) std::exit(2);  // the signal was not heard
        };
        host.Run();
        std::exit(platform::EndRequested() && ticks_ == 3 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(HostTest, DueTimersFireAndOnlyWhatChangedIsPresented) {
  platform::Host& host = Make();
  host.Open({});
  ASSERT_EQ(record_->presents.size(), 1u) << "the cleared window at once";
  EXPECT_EQ(At(5, 5), kBackground);
  onTick_ = [&](int tick) {
    if (tick % 2 == 1) Paint(tick, 0);  // the even ticks paint nothing
    if (tick == 6) host.Stop();
  };
  host.Run();
  EXPECT_EQ(ticks_, 6);
  ASSERT_EQ(record_->presents.size(), 4u) << "one present per painted tick";
  // In place the canvas paints the window's own pixels, presented whole.
  EXPECT_EQ(record_->presents.back(), std::vector<drawing::Box>{drawing::Box(0, 0, 40, 30)});
  EXPECT_EQ(At(5, 0), kPaint);

  // A display not ready for the next frame gets none of those painted
  // meanwhile: one present when it is ready at tick 9, none at 10.
  record_->ready = false;
  onTick_ = [&](int tick) {
    Paint(tick, 1);
    record_->ready = tick == 9;
    if (tick == 10) host.Stop();
  };
  host.Run();
  EXPECT_EQ(record_->presents.size(), 5u);
}

TEST_F(HostTest, TheLoopSleepsUntilTheNextTimerIsDueASecondAtMostAndWithoutOneUntilTheDisplaySpeaks) {
  const struct {
    const char* what;
    std::function<Clock::time_point()> timers;
    std::vector<int> waits;  // milliseconds; none: the loop goes on at once
  } cases[] = {
      {"no timer runs", [] { return Clock::time_point::max(); }, {-1}},
      {"the next is an hour away", [] { return Clock::now() + 1h; }, {1000}},
      {"one is overdue", [] { return Clock::now() - 1ms; }, {}},
  };
  for (const auto& c : cases) {
    record_->waits.clear();
    platform::Host& host = Make(Presentation::kWindow, {40, 30}, c.timers);
    host.Open({});
    int round = 0;
    record_->onDispatch = [&] {
      if (++round == 2) host.Stop();
    };
    host.Run();
    EXPECT_EQ(record_->waits, c.waits) << c.what;
  }
}

TEST_F(HostTest, AViewOffScreenIsMappedIntoItsAreaAndOnlyItsBoxPresented) {
  record_->Resize({100, 30}, false);
  platform::Host& host = Make(Presentation::kWindow, {20, 15});  // fitted: twice, in the middle
  host.Open({});
  onTick_ = [&](int) {
    Paint(0, 0);
    host.Stop();
  };
  host.Run();
  ASSERT_EQ(record_->presents.size(), 2u);
  EXPECT_EQ(record_->presents[1], std::vector<drawing::Box>{drawing::Box(30, 0, 40, 30)});
  EXPECT_EQ(record_->repainting, record_->presents[1]) << "a backend need not catch the view's box up";
  EXPECT_EQ(At(30, 0), kPaint);
  EXPECT_EQ(At(31, 1), kPaint);
  EXPECT_EQ(At(32, 2), kBackground);
  EXPECT_EQ(At(29, 0), 0u) << "black around the view";
}

TEST_F(HostTest, PixelsThatMovedArePaintedWhereTheyAreNow) {
  platform::Host& host = Make();
  host.Open({});
  // The display hands out other memory for the same window, without a
  // word; the old memory is kept, so no address comes back.
  std::vector<std::vector<drawing::Pixel>> given;
  record_->onDispatch = [&] {
    given.push_back(std::exchange(record_->pixels, std::vector<drawing::Pixel>(40 * 30, kBackground)));
  };
  onTick_ = [&](int) {
    Paint(1, 1);
    host.Stop();
  };
  host.Run();
  EXPECT_EQ(At(1, 1), kPaint);
}

TEST_F(HostTest, UnseenPresentsNothingAndSaysSoOnceUntilSeenAgain) {
  platform::Host& host = Make();
  host.Open({});
  record_->rounds = {{Said(Event::kUnseen)}, {Said(Event::kUnseen)}};
  std::size_t presentsUnseen = 0;
  onTick_ = [&](int tick) {
    Paint(0, 0);  // painted while nobody sees it
    if (tick == 4) {
      presentsUnseen = record_->presents.size();
      record_->rounds = {{Said(Event::kSeen)}, {Said(Event::kSeen)}};
    }
    if (tick == 5) host.Stop();
  };
  host.Run();
  EXPECT_EQ(unseen_, 1);
  EXPECT_EQ(seen_, 1);
  EXPECT_EQ(presentsUnseen, 1u) << "only the present of the opening";
  EXPECT_EQ(record_->presents.size(), 2u) << "seen again, what was painted is presented";
}

TEST_F(HostTest, ChangedAreasAreLaidOutAgainAndOnlyNewOnesCountAsAResize) {
  platform::Host& host = Make();
  host.Open({});
  EXPECT_EQ(resized_, 1) << "the first layout";
  int round = 0;
  record_->onDispatch = [&] {
    if (++round == 2) record_->Resize({80, 60}, true);
    if (round == 2 || round == 3) record_->rounds = {{Said(Event::kAreasChanged)}};
    if (round == 5) host.Stop();
  };
  host.Run();
  EXPECT_EQ(resized_, 2) << "the same areas again are no resize";
  EXPECT_EQ(laidOutFor_, (std::vector<drawing::Size>{{80, 60}, {80, 60}}));
  const auto views = host.ViewList();
  ASSERT_EQ(views.size(), 1u);
  EXPECT_EQ(views[0].area, drawing::Box(0, 0, 80, 60));
  EXPECT_TRUE(views[0].fills);
  EXPECT_EQ(views[0].canvas, &canvas_);
  EXPECT_EQ(canvas_.surface().pixels, record_->pixels.data()) << "painting in place on the new pixels";
}

TEST_F(HostTest, KeysReachTheRule) {
  const platform::Modifiers ctrl{.ctrl = true};
  const struct {
    const char* what;
    std::vector<Event> round;
    std::vector<bool> fullScreenAsked;
    int clicks;
    std::vector<Key> programKeys = {};
  } cases[] = {
      {"F11 then Escape", {Said(Event::kKeyDown, Key::kF11), Said(Event::kKeyDown, Key::kEscape)}, {true, false}, 0},
      {"F11 held since focus", {[] {
                                  Event focus = Said(Event::kFocus);
                                  focus.held = {Key::kF11};
                                  return focus;
                                }(),
                                Said(Event::kKeyDown, Key::kF11)},
       {}, 0},
      {"a click", {Said(Event::kClick)}, {}, 1},
      {"the sound's keys, Ctrl+M is none of them",
       {Said(Event::kKeyDown, Key::kM), Said(Event::kKeyDown, Key::kPlus), Said(Event::kKeyDown, Key::kM, ctrl),
        Said(Event::kKeyDown, Key::kMinus)},
       {}, 0, {Key::kM, Key::kPlus, Key::kMinus}},
  };
  for (const auto& c : cases) {
    clicks_ = ticks_ = 0;
    programKeys_.clear();
    record_->fullScreenAsked.clear();
    platform::Host& host = Make();
    host.Open({});
    record_->rounds = {c.round};
    onTick_ = [&](int) { host.Stop(); };
    host.Run();
    EXPECT_EQ(record_->fullScreenAsked, c.fullScreenAsked) << c.what;
    EXPECT_EQ(clicks_, c.clicks) << c.what;
    EXPECT_EQ(programKeys_, c.programKeys) << c.what;
  }
}

TEST_F(HostTest, TheKeysFollowTheWindowsStateAsTheDisplaySaysIt) {
  const Event f11 = Said(Event::kKeyDown, Key::kF11), escape = Said(Event::kKeyDown, Key::kEscape);
  const struct {
    const char* what;
    std::deque<std::vector<Event>> rounds;
    int fullScreenFrom;  // the round from which the display says the window covers its screen
    std::vector<bool> fullScreenAsked;
  } cases[] = {
      // The state that lags behind the presses is not the window manager's own.
      {"a burst of F11", {{f11}, {f11}, {}, {f11}}, 3, {true, false, true}},
      {"the window manager's own full screen, undone by Escape", {{}, {}, {escape}}, 2, {false}},
  };
  for (const auto& c : cases) {
    record_->fullScreen = false;
    record_->fullScreenAsked.clear();
    platform::Host& host = Make();
    host.Open({});
    int round = 0;
    record_->onDispatch = [&] {
      if (++round == c.fullScreenFrom) record_->fullScreen = true;
      if (round == 6) host.Stop();
    };
    record_->rounds = c.rounds;
    host.Run();
    EXPECT_EQ(record_->fullScreenAsked, c.fullScreenAsked) << c.what;
  }
}

}  // namespace
