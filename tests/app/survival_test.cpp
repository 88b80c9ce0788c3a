// The real program when its surroundings fail it or end it: the X server
// goes away under its window or drops its connection, or a signal ends it;
// each time it must end at once, leaving no window and no process behind.
// And a video driver that shows nothing is refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <regex>

#include "x_session.h"

namespace {

using namespace testsupport;

enum class Blow { EndServer, DropConnection, SignalProgram };

struct Case {
  std::string name;
  fs::path program;
  std::string title;  // of the window to wait for
  Blow blow;
  int signal;
  int status;
  std::string errors;  // stderr, as a regular expression
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> Cases() {
  const std::string lost = "Rain: lost the connection to the display :[0-9]+\n";
  std::vector<Case> cases;
  const std::pair<std::string, int> signals[] = {{"Term", SIGTERM}, {"Int", SIGINT}, {"Kill", SIGKILL}};
  for (int i = 0; i < 10; ++i) {
    const auto& [name, signal] = signals[i % 3];
    cases.push_back(
        {"ServerEndedBy" + name + std::to_string(i), RAIN_PROGRAM, "Rain", Blow::EndServer, signal, 1, lost});
  }
  cases.push_back({"ConnectionDropped", RAIN_PROGRAM, "Rain", Blow::DropConnection, 0, 1, lost});
  // A signal ends the running window cleanly, and the start-up error box at
  // once, as it ends a program that never changed it.
  for (const auto& [name, signal] : {signals[0], signals[1]}) {
    cases.push_back({"WindowEndedBy" + name, RAIN_PROGRAM, "Rain", Blow::SignalProgram, signal, 0, ""});
    cases.push_back({"ErrorBoxEndedBy" + name, RAIN_PROGRAM_WITHOUT_PICTURE, "Rain - error", Blow::SignalProgram,
                     signal, 128 + signal, ""});
  }
  return cases;
}

// Whether a process still runs `program` (SDL draws its message box in a
// child process of its own).
bool AnyProcessRuns(const fs::path& program) {
  std::error_code error;
  return std::ranges::any_of(fs::directory_iterator("/proc", error), [&](const fs::directory_entry& entry) {
    std::error_code unreadable;
    return fs::read_symlink(entry.path() / "exe", unreadable) == program;
  });
}

class Ending : public ::testing::TestWithParam<Case> {};

TEST_P(Ending, EndsAtOnceLeavingNoWindowAndNoProcess) {
  const Case& c = GetParam();
  XSession x;
  ChildProcess program = Launch(c.program, x.Scratch(), x.DisplayName());
  Window window = 0;
  ASSERT_TRUE(WaitUntil([&] {
    for (const auto& [found, title] : x.TitledWindows()) window = title == c.title ? found : window;
    return window != 0;
  }, 20s)) << "no window; stderr: " << ReadFile(x.Scratch() / "stderr.txt");

  const auto start = Clock::now();
  if (c.blow == Blow::EndServer) x.EndServer(c.signal);
  if (c.blow == Blow::DropConnection) XKillClient(x.Dpy(), window), XSync(x.Dpy(), False);
  if (c.blow == Blow::SignalProgram) program.Signal(c.signal);
  // The program must end within a second; the bound is loose for busy
  // machines, and the time is printed.
  EXPECT_EQ(program.WaitForExit(10s), c.status);
  std::cout << c.name << ": ended after " << (Clock::now() - start) / 1ms << " ms\n";
  EXPECT_TRUE(std::regex_match(ReadFile(x.Scratch() / "stderr.txt"), std::regex(c.errors)))
      << "stderr: " << ReadFile(x.Scratch() / "stderr.txt");
  if (x.Dpy() != nullptr) {
    EXPECT_TRUE(WaitUntil([&] { return x.TitledWindows().empty(); }, 2s)) << "a window stayed on screen";
  }
  EXPECT_TRUE(WaitUntil([&] { return !AnyProcessRuns(x.Scratch() / "bin" / c.program.filename()); }, 2s));
}

INSTANTIATE_TEST_SUITE_P(Tries, Ending, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// Neither runs unseen nor shows its message where the program did not: a
// message box would keep it waiting past the bound.
class InvisibleDriver : public ::testing::TestWithParam<std::string> {};

TEST_P(InvisibleDriver, IsRefusedWithOneLineAndStatusOne) {
  XSession x;
  ChildProcess program = Launch(RAIN_PROGRAM, x.Scratch(), x.DisplayName(), {"SDL_VIDEODRIVER=" + GetParam()});
  EXPECT_EQ(program.WaitForExit(20s), 1);
  const std::string errors = ReadFile(x.Scratch() / "stderr.txt");
  EXPECT_TRUE(std::regex_match(errors, std::regex("Rain: [^\n]*\"" + GetParam() + "\" shows nothing[^\n]*\n")))
      << "stderr: " << errors;
}

INSTANTIATE_TEST_SUITE_P(Drivers, InvisibleDriver, ::testing::Values("dummy", "offscreen", "evdev"),
                         [](const auto& info) { return info.param; });

}  // namespace
