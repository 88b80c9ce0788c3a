// Shared by the platform's own files only: how SIGINT and SIGTERM end the
// program while one of SDL's own modal loops runs.

#pragma once

#include <signal.h>

namespace platform {

// While one exists, SIGINT and SIGTERM end the process at once, as they end
// a program that never changed them, and a child process forked meanwhile
// ends with it.  For SDL's message box: SDL's own handlers only queue a quit
// event, which the box's loop never reads, and SDL draws the box in a forked
// child that would otherwise stay on screen.  A signal the program was
// started with ignored stays ignored.
class EndOnTerminationSignals {
 public:
  EndOnTerminationSignals();
  ~EndOnTerminationSignals();
  EndOnTerminationSignals(const EndOnTerminationSignals&) = delete;
  EndOnTerminationSignals& operator=(const EndOnTerminationSignals&) = delete;

 private:
  struct sigaction previous_[2];
};

}  // namespace platform
