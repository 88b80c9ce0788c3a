// The real program when its surroundings fail it or end it: the X server
// goes away under its window or drops its connection, a signal ends it, or
// the environment picks a video driver that shows nothing.  Each time it
// must end at once, leaving no window and no process behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <regex>

#include "x_session.h"

namespace {

using namespace testsupport;

enum class Blow { Nothing, EndServer, DropConnection, SignalProgram };

struct Case {
  std::string name;
  fs::path program;
  std::vector<std::string> environment;
  std::string title;  // of the window to wait for before the blow, if any
  Blow blow;
  int signal;
  int status;
  std::string errors;  // stderr, as a regular expression
};

std::vector<Case> Cases() {
  const std::string lost = "Rain: lost the connection to the display :[0-9]+\n";
  std::vector<Case> cases{{"ConnectionDropped", RAIN_PROGRAM, {}, "Rain", Blow::DropConnection, 0, 1, lost}};
  for (int i = 0; i < 10; ++i) {
    const int signal = std::array{SIGTERM, SIGINT, SIGKILL}[i % 3];
    cases.push_back({"ServerEndedBy" + std::string(sigabbrev_np(signal)) + std::to_string(i), RAIN_PROGRAM, {},
                     "Rain", Blow::EndServer, signal, 1, lost});
  }
  // A signal ends the running window cleanly, and the start-up error box at
  // once, as it ends a program that never changed it.
  for (const int signal : {SIGTERM, SIGINT}) {
    const std::string by = sigabbrev_np(signal);
    cases.push_back({"WindowEndedBy" + by, RAIN_PROGRAM, {}, "Rain", Blow::SignalProgram, signal, 0, ""});
    cases.push_back({"ErrorBoxEndedBy" + by, RAIN_PROGRAM_WITHOUT_PICTURE, {}, "Rain - error", Blow::SignalProgram,
                     signal, 128 + signal, ""});
  }
  // Refused without a box: one would keep the program waiting past the bound.
  for (const std::string driver : {"dummy", "offscreen", "evdev"}) {
    cases.push_back({"Driver_" + driver, RAIN_PROGRAM, {"SDL_VIDEODRIVER=" + driver}, "", Blow::Nothing, 0, 1,
                     "Rain: [^\n]*\"" + driver + "\" shows nothing[^\n]*\n"});
  }
  return cases;
}

// Whether a process still runs `program` (SDL draws its message box in a
// child process of its own).
bool AnyProcessRuns(const fs::path& program) {
  return std::ranges::any_of(fs::directory_iterator("/proc"), [&](const fs::directory_entry& entry) {
    std::error_code unreadable;
    return fs::read_symlink(entry.path() / "exe", unreadable) == program;
  });
}

class Ending : public ::testing::TestWithParam<Case> {};

TEST_P(Ending, EndsAtOnceLeavingNoWindowAndNoProcess) {
  const Case& c = GetParam();
  XSession x;
  ChildProcess program = Launch(c.program, x.Scratch(), x.DisplayName(), c.environment);
  Window window = 0;
  ASSERT_TRUE(c.title.empty() || WaitUntil([&] {
    for (const auto& [found, title] : x.TitledWindows()) window = title == c.title ? found : window;
    return window != 0;
  }, 20s)) << "no window; stderr: " << ReadFile(x.Scratch() / "stderr.txt");

  const auto start = Clock::now();
  if (c.blow == Blow::EndServer) x.EndServer(c.signal);
  if (c.blow == Blow::DropConnection) XKillClient(x.Dpy(), window), XSync(x.Dpy(), False);
  if (c.blow == Blow::SignalProgram) program.Signal(c.signal);
  // Within a second, the issue asks; the bound is loose for busy machines,
  // and the time is printed.
  EXPECT_EQ(program.WaitForExit(20s), c.status);
  std::cout << c.name << ": ended after " << (Clock::now() - start) / 1ms << " ms\n";
  const std::string errors = ReadFile(x.Scratch() / "stderr.txt");
  EXPECT_TRUE(std::regex_match(errors, std::regex(c.errors))) << "stderr: " << errors;
  EXPECT_TRUE(!x.Dpy() || WaitUntil([&] { return x.TitledWindows().empty(); }, 2s)) << "a window stayed";
  EXPECT_TRUE(WaitUntil([&] { return !AnyProcessRuns(x.Scratch() / "bin" / c.program.filename()); }, 2s));
}

INSTANTIATE_TEST_SUITE_P(Tries, Ending, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
