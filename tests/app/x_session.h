// A private X server for tests of the real program: Xvfb on a free display,
// optionally a window manager, the program started as a user starts it, and
// the few Xlib queries the tests ask of its windows.

#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// ":N".  Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) about
// a one-character literal plus a string.
inline std::string DisplayNameOf(int number) {
  std::string name(1, ':');
  name += std::to_string(number);
  return name;
}

// A child process that is killed when it goes out of scope, so a failing test
// never leaves a server or a program behind.
class ChildProcess {
 public:
  // `environment` entries set a variable; an empty value removes it.
  ChildProcess(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& environment,
               const std::filesystem::path& workingDirectory,
               const std::filesystem::path& stderrFile);
  ChildProcess(ChildProcess&& other) noexcept
      : pid_(std::exchange(other.pid_, -1)), status_(std::exchange(other.status_, std::nullopt)) {}
  ChildProcess& operator=(ChildProcess&&) = delete;
  ~ChildProcess();

  pid_t Pid() const { return pid_; }
  bool Running();
  // The raw wait status once the process has ended within `timeout`.
  std::optional<int> WaitForExit(Clock::duration timeout);

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// A fresh, empty folder that is removed afterwards.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

inline void PrintTo(const Rect& r, std::ostream* out) {
  *out << r.width << "x" << r.height << " at (" << r.x << ", " << r.y << ")";
}

// Pixels as the server holds them, 0x00RRGGBB, row-major.
struct Capture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

class XSession {
 public:
  // Starts Xvfb (1280 x 1024, 24 bits) on a display number it picks itself.
  XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;
  ~XSession();

  int DisplayNumber() const { return displayNumber_; }
  std::string DisplayName() const { return DisplayNameOf(displayNumber_); }
  Display* Dpy() const { return display_; }
  const std::filesystem::path& Scratch() const { return scratch_.Path(); }

  // Starts openbox and waits until it manages the screen.
  void StartWindowManager();

  // Starts a copy of `program` from an empty folder, with this server as its
  // only display; its stderr goes to the returned path's file.
  ChildProcess Launch(const std::filesystem::path& program, const std::string& display = "");
  std::filesystem::path StderrFile() const { return scratch_.Path() / "stderr.txt"; }

  // Every viewable window with a title, at any depth (a window manager
  // reparents clients into its frames), by title.
  std::vector<std::pair<Window, std::string>> TitledWindows();
  std::optional<Window> WaitForWindow(const std::string& title, Clock::duration timeout);

  Rect ClientRectOnScreen(Window window);
  Capture Grab(Window window);
  std::vector<long> CardinalProperty(Window window, const char* name);
  std::vector<std::string> AtomListProperty(Window window, const char* name);
  Atom Intern(const char* name) { return XInternAtom(display_, name, False); }

  void MovePointer(int x, int y);
  void Click(unsigned button);
  void PressKey(unsigned long keysym);
  // What a window manager sends when the user asks to close the window.
  void SendDeleteWindow(Window window);
  // What a taskbar sends the window manager to close a window.
  void AskWindowManagerToClose(Window window);

 private:
  TempFolder scratch_;
  std::optional<ChildProcess> server_;
  std::optional<ChildProcess> windowManager_;
  int displayNumber_ = -1;
  Display* display_ = nullptr;
};

// Waits until `condition` holds or `timeout` passes; returns whether it held.
template <typename Condition>
bool WaitUntil(Condition condition, Clock::duration timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() >= end) return false;
    struct timespec pause = {0, 10'000'000};
    nanosleep(&pause, nullptr);
  }
}

std::string ReadFile(const std::filesystem::path& path);
