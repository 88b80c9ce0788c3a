// The program's command line: a table of options, one row each, read before
// anything touches the display, so that asking for help or making a typing
// mistake never opens a window.

#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace app {

// Where the animation is shown; at most one of these is given.
struct ScreenOptions {
  std::optional<int> scale;               // --scale N: a window N times its size
  bool fullScreen = false;                // --fullscreen
  bool root = false;                      // --root: the screensaver's window or the root window
  std::optional<unsigned long> windowId;  // --window-id ID: another program's window
};

// The largest scale a window may be asked for.
constexpr int kMaxWindowScale = 4;

// The sound of the rain; off unless asked for.
struct SoundOptions {
  bool on = false;      // --sound, or --volume
  int volume = 50;      // --volume N, 1 to 100
  bool thunder = true;  // false: --no-thunder
};

// What the options ask for.  Every option sets its own field.
struct CommandLine {
  bool help = false;
  bool version = false;
  ScreenOptions screen;
  bool lightning = true;  // false: --no-lightning
  SoundOptions sound;
};

// One row of the option table.
struct Option {
  std::string_view name;   // "--version"
  std::string_view value;  // the value's name in --help ("N"); empty when the option takes none
  std::string_view help;   // its line in --help
  // Stores the option's value (empty when it takes none) in `line`; returns
  // what is wrong with the value in one line, or nothing.
  std::string (*apply)(CommandLine& line, std::string_view value);
};

// The program's own options.
std::span<const Option> ProgramOptions();

struct ParsedCommandLine {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  CommandLine options;  // meaningful for Run
  std::string error;    // for UsageError: one line, without the program's name
};

// `args` are the arguments after the program's name.  Options are given
// each at most once, a value as "--name VALUE" or "--name=VALUE".  Any
// fault makes a UsageError; otherwise --help wins over --version, and either
// over running.
ParsedCommandLine ParseCommandLine(std::span<const std::string> args,
                                   std::span<const Option> table = ProgramOptions());

// What --help prints, made from the option table.
std::string Usage();

// What --version prints: "rainstorm 1.0.0".
std::string VersionLine();

// An X11 window id written in decimal or as 0x-hex: a whole number from 1
// to 0xFFFFFFFF with nothing around it.  Nothing for anything else.
std::optional<unsigned long> ParseWindowId(std::string_view text);

// Runs the program as `args` ask: prints the help or the version to stdout
// (0, or 1 when stdout cannot take it), or one line with a hint to stderr
// (2), or runs `program` with the options and returns its status.
int RunCommandLine(std::span<const std::string> args, int (*program)(const CommandLine&));

}  // namespace app
