// The one way tests run a program: a child process, found through PATH when
// its name has no slash, with its standard output and error in files, and
// SIGINT and SIGTERM at their defaults (a test run in the background would
// otherwise pass on an ignored SIGINT).  It is killed when it goes out of
// scope, so a failing test leaves nothing behind.

#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/scratch_folder.h"

extern char** environ;

namespace support {

using Clock = std::chrono::steady_clock;

// Polls `condition` until it holds or `timeout` has passed.
template <typename Condition>
bool WaitUntil(Condition condition, Clock::duration timeout) {
  for (const auto end = Clock::now() + timeout; !condition();) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class ChildProcess {
 public:
  // An empty path leaves that stream where the test's own goes.
  ChildProcess(std::vector<std::string> argv, const std::filesystem::path& errors,
               const std::filesystem::path& output = {}) {
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!errors.empty()) posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults), sigaddset(&defaults, SIGINT), sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int failed = posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) throw std::runtime_error("cannot start " + argv[0]);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (!Running()) return;
    kill(pid_, SIGTERM);
    if (!WaitForExit(std::chrono::seconds(2))) kill(pid_, SIGKILL), WaitForExit(std::chrono::seconds(2));
  }

  pid_t Pid() const { return pid_; }

  void Signal(int signal) {
    if (Running()) kill(pid_, signal);
  }

  // Whether the process has a handler of its own for `signal` now, as
  // /proc says: from then on the signal asks it to end rather than kills it.
  bool Catches(int signal) {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("SigCgt:")) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
  }

  bool Running() {
    int status = 0;
    if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_)
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);  // as a shell reports it
    return !status_;
  }
  // The exit status once the process has ended within `timeout`.
  std::optional<int> WaitForExit(Clock::duration timeout) {
    WaitUntil([this] { return !Running(); }, timeout);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct Finished {
  int status = -1;  // as a shell reports it; -1 when it did not end in time
  std::string out;
  std::string err;
};

// Runs a program to its end, its output caught in files in `folder`.
inline Finished RunToEnd(const std::vector<std::string>& argv, const std::filesystem::path& folder) {
  Finished result;
  {
    ChildProcess child(argv, folder / "stderr.txt", folder / "stdout.txt");
    result.status = child.WaitForExit(std::chrono::minutes(5)).value_or(-1);
  }
  result.out = ReadFile(folder / "stdout.txt");
  result.err = ReadFile(folder / "stderr.txt");
  return result;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The times all of a process's threads went to sleep and woke up.
inline long Wakeups(int pid) {
  long total = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("voluntary_ctxt_switches:")) total += std::stol(line.substr(24));
  }
  return total;
}

}  // namespace support
