// The program entry: starts the application, creates the main window and
// runs the message loop, and is the one place that reports failures.

#pragma once

#include <functional>

#include "app/command_line.h"
#include "app/options.h"
#include "drawing/exception.h"

namespace app {

struct EntrySteps {
  std::function<void()> initialize;
  std::function<void()> createMainForm;
  std::function<void()> run;
};

// Runs the three steps inside one guard.  Returns 0 when they finish.  An
// escaping Exception is passed to `show` and gives 1, so a failed start is
// not reported as success; any other exception is shown as an Exception with
// its own text (what()) where it has one, else with the empty message.
int GuardedEntry(const EntrySteps& steps, const std::function<void(const Exception&)>& show);

// The options the main window is made with: those of the command line and
// what GDK_SCALE and XSCREENSAVER_WINDOW say.
WindowOptions WindowOptionsOf(const CommandLine& options);

// The entry of the real program, over the global Application: shows the
// main window where `options` ask.
int ProgramEntry(const CommandLine& options);

}  // namespace app
