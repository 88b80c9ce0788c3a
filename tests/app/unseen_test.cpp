// The real program while nobody can see it: minimised, wholly covered, or
// drawing in a host window that was unmapped.  It presents nothing and its
// timer stops, and it draws again soon after it can be seen again.  Frames
// are counted by the benchmark's preloaded present counter; the cost itself
// is measured by bench/cpu-usage --state, not here.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/x_session.h"

namespace {

using namespace std::chrono_literals;
using support::ChildProcess;
using support::WaitUntil;
using support::XSession;

// The frames the program presented so far, as the counter keeps them.
class PresentCount {
 public:
  explicit PresentCount(const std::filesystem::path& file) : file_(file) {}
  std::uint64_t operator()() const {
    std::array<std::uint64_t, 4> slots{};
    std::ifstream in(file_, std::ios::binary);
    in.read(reinterpret_cast<char*>(slots.data()), sizeof slots);
    return slots[0] + slots[1];
  }

 private:
  std::filesystem::path file_;
};

// The times all of a process's threads went to sleep and woke up.
long Wakeups(int pid) {
  long total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("voluntary_ctxt_switches:")) total += std::stol(line.substr(24));
  }
  return total;
}

enum class Unseen { kMinimised, kCovered, kHostUnmapped };
struct UnseenCase {
  const char* name;
  Unseen how;
};
void PrintTo(const UnseenCase& c, std::ostream* os) { *os << c.name; }

class UnseenWindow : public ::testing::TestWithParam<UnseenCase> {};

TEST_P(UnseenWindow, PresentsNothingAndSleepsUntilSeenAgain) {
  const Unseen how = GetParam().how;
  XSession x;
  if (how == Unseen::kMinimised) x.StartWindowManager();
  Display* dpy = x.Dpy();
  const Window root = DefaultRootWindow(dpy);
  Window host = 0;
  std::vector<std::string> args;
  if (how == Unseen::kHostUnmapped) {
    host = XCreateSimpleWindow(dpy, root, 0, 0, 900, 600, 0, 0, 0x808080);
    XMapWindow(dpy, host);
    XSync(dpy, False);
    args = {"--window-id", std::to_string(host)};
  }
  const auto counter = x.Scratch() / "presents";
  ChildProcess rain = support::Launch(RAIN_PROGRAM, x.Scratch(), x.DisplayName(), args,
                                      {"LD_PRELOAD=" RAIN_PRESENT_COUNTER_LIB, "RAIN_PRESENT_COUNTER=" + counter.string()});
  const PresentCount presents(counter);
  ASSERT_TRUE(WaitUntil([&] { return presents() > 10; }, 20s)) << support::ReadFile(x.Scratch() / "stderr.txt");
  Window window = host;
  for (const auto& [found, title] : x.TitledWindows()) window = title == "Rain" ? found : window;

  for (int round = 0; round < 2; ++round) {
    Window cover = 0;
    switch (how) {
      case Unseen::kMinimised: XIconifyWindow(dpy, window, DefaultScreen(dpy)); break;
      case Unseen::kHostUnmapped: XUnmapWindow(dpy, host); break;
      case Unseen::kCovered: {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        cover = XCreateWindow(dpy, root, 0, 0, 1280, 1024, 0, CopyFromParent, InputOutput, CopyFromParent,
                              CWOverrideRedirect, &attributes);
        XMapRaised(dpy, cover);
        break;
      }
    }
    XSync(dpy, False);
    std::this_thread::sleep_for(300ms);  // it notices
    const std::uint64_t before = presents();
    const long sleptBefore = Wakeups(rain.Pid());
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(presents(), before) << "round " << round << ": frames presented while unseen";
    // Running, its timer wakes it 64 times a second.
    EXPECT_LT(Wakeups(rain.Pid()) - sleptBefore, 10) << "round " << round << ": it did not sleep";

    if (cover != 0) XDestroyWindow(dpy, cover);
    if (how != Unseen::kCovered) XMapWindow(dpy, window);
    XSync(dpy, False);
    const std::uint64_t hidden = presents();
    EXPECT_TRUE(WaitUntil([&] { return presents() > hidden + 5; }, 500ms)) << "round " << round << ": not drawing again";
  }
  rain.Signal(SIGTERM);
  EXPECT_EQ(rain.WaitForExit(5s), 0);
  EXPECT_EQ(support::ReadFile(x.Scratch() / "stderr.txt"), "");
}

INSTANTIATE_TEST_SUITE_P(States, UnseenWindow,
                         ::testing::Values(UnseenCase{"Minimised", Unseen::kMinimised},
                                           UnseenCase{"WhollyCovered", Unseen::kCovered},
                                           UnseenCase{"HostWindowUnmapped", Unseen::kHostUnmapped}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
