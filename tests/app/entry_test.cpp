// The program entry's guard: what each kind of failure shows and the exit
// status it gives.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "entry.h"
#include "exception.h"

namespace {

class ResourceError : public Exception {
 public:
  using Exception::Exception;
};

struct Case {
  const char* name;
  int failingStep;  // 0 none, 1 initialize, 2 create, 3 run
  std::function<void()> fail;
  int status;
  std::vector<std::string> shown;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class GuardedEntryTest : public ::testing::TestWithParam<Case> {};

TEST_P(GuardedEntryTest, ShowsTheFailureOnceAndGivesItsStatus) {
  const Case& c = GetParam();
  std::vector<std::string> steps;
  auto step = [&](int number, const char* name) {
    return [&steps, &c, number, name] {
      steps.push_back(name);
      if (number == c.failingStep) c.fail();
    };
  };
  std::vector<std::string> shown;
  const int status = GuardedEntry({step(1, "initialize"), step(2, "create"), step(3, "run")},
                                  [&](const Exception& e) { shown.push_back(e.Message()); });
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(shown, c.shown);
  // The steps run in order and stop at the one that failed.
  const std::vector<std::string> all{"initialize", "create", "run"};
  const std::size_t ran = c.failingStep == 0 ? 3 : static_cast<std::size_t>(c.failingStep);
  EXPECT_EQ(steps, std::vector<std::string>(all.begin(), all.begin() + static_cast<long>(ran)));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, GuardedEntryTest,
    ::testing::Values(
        Case{"NormalClose", 0, [] {}, 0, {}},
        // A failed start is a failure to the shell that started the program.
        Case{"ExceptionWhileCreating", 2, [] { throw Exception("Resource Princess not found"); }, 1,
             {"Resource Princess not found"}},
        Case{"DerivedExceptionWhileInitialising", 1, [] { throw ResourceError("no display"); }, 1, {"no display"}},
        Case{"ExceptionWhileRunning", 3, [] { throw Exception("lost the display"); }, 1, {"lost the display"}},
        Case{"StandardExceptionKeepsItsText", 2, [] { throw std::runtime_error("out of luck"); }, 1,
             {"out of luck"}},
        Case{"AnythingElseShowsAnEmptyMessage", 3, [] { throw 42; }, 1, {""}}));

}  // namespace
