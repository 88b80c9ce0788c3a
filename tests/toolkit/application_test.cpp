// The application's message loop over a scripted display: the timer's rate
// and its refusal to queue events up, the pixels the canvas paints on, and
// how Run ends; and why no display can be had.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "drawing/exception.h"
#include "imaging/resources.h"
#include "tests/support/fake_backend.h"
#include "tests/support/message_of.h"
#include "toolkit/application.h"
#include "toolkit/form.h"
#include "toolkit/timer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class ApplicationTest;
ApplicationTest* currentTest = nullptr;

// A form over the current test's description whose timer handler "Tick"
// calls the test's onTick_.
class TestForm : public TForm {
 public:
  explicit TestForm(TComponent* owner);
};

class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override { currentTest = this; }

  // A form of the given properties whose Timer1 calls onTick_ every 1 ms.
  TestForm* CreateForm(const std::string& formProperties = R"("ClientWidth": 40, "ClientHeight": 30)") {
    text_ = R"({"object": "fTest", "class": "TfTest", "properties": {)" + formProperties +
            R"(}, "components": [{"object": "Timer1", "class": "TTimer",)" +
            R"( "properties": {"Interval": 1, "OnTimer": "Tick"}}]})";
    const imaging::ResourceEntry entry{imaging::ResourceType::RCData, "TFTEST",
                                       reinterpret_cast<const unsigned char*>(text_.data()), text_.size()};
    table_.Add({&entry, 1});
    TestForm* form = nullptr;
    app_.CreateForm(&form);
    return form;
  }

  void Run() {
    app_.Initialize(std::make_unique<support::FakeBackend>(display_));
    app_.Run();
  }

  friend class TestForm;
  std::string text_;
  imaging::ResourceTable table_;
  std::function<void(TestForm*)> onTick_;
  std::shared_ptr<support::FakeBackend::Record> display_ = std::make_shared<support::FakeBackend::Record>();
  // Declared last, so it deletes its forms before what they refer to goes.
  TApplication app_;
};

TestForm::TestForm(TComponent* owner)
    : TForm(owner, "TfTest", {{"Tick", [this](TObject*) { currentTest->onTick_(this); }}}, &currentTest->table_) {}

TEST_F(ApplicationTest, OneMillisecondTimerTicksAtSixtyFourASecondAndADisabledOneNotAtAll) {
  TestForm* form = CreateForm();
  EXPECT_DOUBLE_EQ(form->Component<TTimer>("Timer1")->Period(), 1000.0 / 64);
  int disabledTicks = 0;
  auto* disabled = new TTimer(form);  // owned by the form
  disabled->SetInterval(1);
  disabled->SetOnTimer([&](TObject*) { ++disabledTicks; });
  disabled->SetEnabled(false);
  std::vector<Clock::time_point> ticks;
  onTick_ = [&](TestForm*) {
    ticks.push_back(Clock::now());
    if (ticks.size() == 33) app_.Terminate();
  };
  Run();
  ASSERT_EQ(ticks.size(), 33u);
  // 32 periods of 15.625 ms make 500 ms; a 1 ms timer would take 32 ms.
  const auto elapsed = ticks.back() - ticks.front();
  EXPECT_GE(elapsed, 450ms);
  EXPECT_LT(elapsed, 2000ms);
  EXPECT_EQ(disabledTicks, 0);
}

TEST_F(ApplicationTest, AtMostOneTimerEventWaitsBehindASlowHandler) {
  CreateForm();
  std::vector<Clock::time_point> ticks;
  Clock::time_point stallEnd;
  onTick_ = [&](TestForm*) {
    ticks.push_back(Clock::now());
    if (ticks.size() == 3) {
      // About thirteen ticks fall due while this handler runs.
      std::this_thread::sleep_for(200ms);
      stallEnd = Clock::now();
    }
    if (ticks.size() == 8) app_.Terminate();
  };
  Run();
  int soonAfterStall = 0;
  for (const auto& tick : ticks) soonAfterStall += tick >= stallEnd && tick < stallEnd + 10ms;
  // The one event that waited, and perhaps one tick that fell due just then.
  EXPECT_GE(soonAfterStall, 1);
  EXPECT_LE(soonAfterStall, 2);
}

TEST_F(ApplicationTest, WindowIsTheClientSizeAndItsColourUntilDrawnOnAndCloseEndsRun) {
  TestForm* form = CreateForm();  // the form's own colour: clBtnFace
  EXPECT_FALSE(form->Visible());
  drawing::Surface seen;
  std::vector<drawing::Pixel> pixels;
  onTick_ = [&](TestForm* f) {
    seen = f->Canvas->surface();
    for (int y = 0; y < seen.height; ++y)
      for (int x = 0; x < seen.width; ++x) pixels.push_back(seen.pixels[y * seen.stride + x]);
    f->Close();
  };
  Run();
  EXPECT_EQ(seen.width, 40);
  EXPECT_EQ(seen.height, 30);
  EXPECT_EQ(pixels, std::vector<drawing::Pixel>(40 * 30, 0xF0F0F0));
  EXPECT_FALSE(form->Visible()) << "closing the main form takes the window away";
}

TEST_F(ApplicationTest, TheDescriptionAndThePresentationReachTheDisplayAndTheDisplayIsLetGo) {
  TestForm* form = CreateForm(R"("Left": 5, "Top": 6, "ClientWidth": 40, "ClientHeight": 30, "Caption": "T",)"
                              R"( "BorderIcons": ["biSystemMenu"], "Color": "clBlack")");
  form->Presentation = {.kind = platform::Presentation::kWindow, .scale = 3};
  onTick_ = [](TestForm* f) { f->Close(); };
  Run();
  EXPECT_EQ(display_->presentation, form->Presentation);
  EXPECT_EQ(display_->look.caption, "T");
  EXPECT_EQ(display_->look.client, drawing::Size(40, 30));
  EXPECT_EQ(display_->look.place, drawing::Point(5, 6));
  EXPECT_FALSE(display_->look.minimizeButton);
  EXPECT_EQ(display_->look.background, 0u);
  EXPECT_FALSE(display_->closed) << "the window stays until the application shuts down";
  app_.Shutdown();
  EXPECT_TRUE(display_->closed);
}

TEST_F(ApplicationTest, ExceptionOfAHandlerLeavesRun) {
  CreateForm();
  onTick_ = [](TestForm*) { throw Exception("boom"); };
  EXPECT_THROW(Run(), Exception);
}

TEST(ApplicationStartTest, NoUsableDisplayIsAnExceptionSayingWhy) {
  const struct {
    const char* backend;
    const char* driver;
    std::string says;
  } cases[] = {
      {"", "no-such-driver", "Cannot open a window: "},
      {"x11", "no-such-driver", "Cannot open a window: "},
      {"wayland", "x11", "Cannot open a window: cannot connect to the Wayland display 'rain-test-none'"},
      {"quartz", "x11", "Cannot open a window: RAIN_BACKEND='quartz' names no display system (x11 or wayland)"},
  };
  setenv("WAYLAND_DISPLAY", "rain-test-none", 1);
  for (const auto& c : cases) {
    setenv("RAIN_BACKEND", c.backend, 1);
    setenv("SDL_VIDEODRIVER", c.driver, 1);
    TApplication app;
    const std::string message = support::MessageOf([&] { app.Initialize(); });
    EXPECT_TRUE(message.starts_with(c.says)) << c.backend << ": " << message;
  }
  unsetenv("RAIN_BACKEND");
  unsetenv("WAYLAND_DISPLAY");
}

}  // namespace
