// The program entry's guard: the steps run in order and stop at a failure,
// which is shown once and gives status 1; a normal close gives 0.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/entry.h"
#include "drawing/exception.h"

namespace {

using app::GuardedEntry;

struct Case {
  const char* name;
  int failingStep;  // 0 none, 1 initialize, 2 create, 3 run
  std::function<void()> fail;
  const char* shown;  // the message a failure shows
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class GuardedEntryTest : public ::testing::TestWithParam<Case> {};

TEST_P(GuardedEntryTest, ShowsTheFailureOnceAndGivesItsStatus) {
  const Case& c = GetParam();
  int stepsRun = 0;
  auto step = [&](int number) {
    return [&, number] {
      EXPECT_EQ(++stepsRun, number) << "steps out of order";
      if (number == c.failingStep) c.fail();
    };
  };
  std::vector<std::string> shown;
  const int status = GuardedEntry({step(1), step(2), step(3)}, [&](const Exception& e) { shown.push_back(e.Message()); });
  EXPECT_EQ(stepsRun, c.failingStep == 0 ? 3 : c.failingStep);
  EXPECT_EQ(status, c.failingStep == 0 ? 0 : 1);
  EXPECT_EQ(shown, c.failingStep == 0 ? std::vector<std::string>{} : std::vector<std::string>{c.shown});
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GuardedEntryTest,
    ::testing::Values(Case{"NormalClose", 0, [] {}, ""},
                      Case{"ExceptionWhileCreating", 2, [] { throw Exception("Resource Princess not found"); },
                           "Resource Princess not found"},
                      Case{"StandardExceptionKeepsItsText", 1, [] { throw std::runtime_error("no display"); },
                           "no display"},
                      Case{"AnythingElseShowsAnEmptyMessage", 3, [] { throw 42; }, ""}));

// The sound reaches the window as asked, but never for a screensaver's
// settings preview (--root with --window-id), which runs beside the
// screensaver itself.
TEST(WindowOptionsOf, CarryTheSoundExceptToASettingsPreview) {
  struct Row {
    std::vector<std::string> args;
    bool on;
  };
  const Row rows[] = {{{"--sound"}, true},
                      {{"--root", "--volume", "20"}, true},
                      {{"--window-id", "7", "--sound"}, true},
                      {{"--root", "--window-id", "7", "--sound"}, false},
                      {{}, false}};
  for (const Row& row : rows) {
    const auto parsed = app::ParseCommandLine(row.args);
    const app::WindowOptions options = app::WindowOptionsOf(parsed.options);
    EXPECT_EQ(options.sound.on, row.on) << testing::PrintToString(row.args);
    EXPECT_EQ(options.sound.volume, parsed.options.sound.volume);
  }
}

}  // namespace
