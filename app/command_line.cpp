#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <set>

#include "drawing/exception.h"

namespace app {

namespace {

constexpr const char* ProgramName = "rainstorm";

// The options that say where the animation is shown exclude each other,
// but for --root with --window-id: a screensaver's settings show their
// preview by adding --window-id to the command that has --root, and the
// window named wins.
std::string OnlyScreenOption(const CommandLine& line, std::string_view name) {
  const ScreenOptions& screen = line.screen;
  const char* other = screen.scale                                  ? "--scale"
                      : screen.fullScreen                           ? "--fullscreen"
                      : screen.root && name != "--window-id"        ? "--root"
                      : screen.windowId && name != "--root"         ? "--window-id"
                                                                    : nullptr;
  return other == nullptr ? std::string() : std::string(name) + " cannot be combined with " + other;
}

// 1 to 100 in plain digits, as people write it: no sign, no leading zero.
std::optional<int> ParseVolume(std::string_view text) {
  int volume = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), volume);
  if (text.empty() || text[0] == '0' || error != std::errc() || end != text.data() + text.size() || volume < 1 ||
      volume > 100)
    return std::nullopt;
  return volume;
}

constexpr Option Options[] = {
    {"--help", "", "print this help and exit",
     [](CommandLine& line, std::string_view) {
       line.help = true;
       return std::string();
     }},
    {"--version", "", "print the program's name and version and exit",
     [](CommandLine& line, std::string_view) {
       line.version = true;
       return std::string();
     }},
    {"--scale", "N", "show the window N times its size (1 to 4; default: the desktop's)",
     [](CommandLine& line, std::string_view value) {
       if (std::string error = OnlyScreenOption(line, "--scale"); !error.empty()) return error;
       if (value.size() != 1 || value[0] < '1' || value[0] > '0' + kMaxWindowScale)
         return "--scale needs a whole number from 1 to " + std::to_string(kMaxWindowScale) + ", not " + Quoted(value);
       line.screen.scale = value[0] - '0';
       return std::string();
     }},
    {"--fullscreen", "", "fill the monitor the pointer is on; Escape ends the program",
     [](CommandLine& line, std::string_view) {
       if (std::string error = OnlyScreenOption(line, "--fullscreen"); !error.empty()) return error;
       line.screen.fullScreen = true;
       return std::string();
     }},
    {"--root", "", "fill the screensaver's window, or else every monitor",
     [](CommandLine& line, std::string_view) {
       if (std::string error = OnlyScreenOption(line, "--root"); !error.empty()) return error;
       line.screen.root = true;
       return std::string();
     }},
    {"--window-id", "ID", "fill the X11 window ID (decimal or 0x-hex); wins over --root",
     [](CommandLine& line, std::string_view value) {
       if (std::string error = OnlyScreenOption(line, "--window-id"); !error.empty()) return error;
       line.screen.windowId = ParseWindowId(value);
       return line.screen.windowId ? std::string() : "--window-id needs a window id, not " + Quoted(value);
     }},
    {"--no-lightning", "", "never flash the sky with lightning; the rain stays the same",
     [](CommandLine& line, std::string_view) {
       line.lightning = false;
       return std::string();
     }},
    {"--sound", "", "play the sound of the rain and of thunder after each flash",
     [](CommandLine& line, std::string_view) {
       line.sound.on = true;
       return std::string();
     }},
    {"--volume", "N", "the sound's volume, 1 to 100 (default 50); implies --sound",
     [](CommandLine& line, std::string_view value) {
       const std::optional<int> volume = ParseVolume(value);
       if (!volume) return "--volume needs a whole number from 1 to 100, not " + Quoted(value);
       line.sound.on = true;
       line.sound.volume = *volume;
       return std::string();
     }},
    {"--no-thunder", "", "no thunder in the sound; the flashes stay",
     [](CommandLine& line, std::string_view) {
       line.sound.thunder = false;
       return std::string();
     }},
};

ParsedCommandLine Failure(std::string message) {
  ParsedCommandLine parsed;
  parsed.action = ParsedCommandLine::Action::UsageError;
  parsed.error = std::move(message);
  return parsed;
}

}  // namespace

std::span<const Option> ProgramOptions() { return Options; }

ParsedCommandLine ParseCommandLine(std::span<const std::string> args, std::span<const Option> table) {
  CommandLine line;
  std::set<std::string_view> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!arg.starts_with("-")) return Failure("unexpected argument " + Quoted(arg));

    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const auto option = std::ranges::find(table, name, &Option::name);
    if (option == table.end()) return Failure("unknown option " + Quoted(name));
    if (!seen.insert(option->name).second) return Failure(std::string(option->name) + " given twice");

    std::string_view value;
    if (option->value.empty()) {
      if (equals != std::string_view::npos) return Failure(std::string(option->name) + " takes no value");
    } else {
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size() && !args[i + 1].starts_with("-")) {
        // A following option is not taken for a value: "--scale --help" is a
        // forgotten number, not a number called "--help".
        value = args[++i];
      }
      if (value.empty()) return Failure(std::string(option->name) + " needs a value");
    }
    if (std::string error = option->apply(line, value); !error.empty()) return Failure(std::move(error));
  }

  using Action = ParsedCommandLine::Action;
  ParsedCommandLine parsed;
  parsed.action = line.help ? Action::Help : line.version ? Action::Version : Action::Run;
  parsed.options = line;
  return parsed;
}

std::string Usage() {
  std::size_t width = 0;
  const auto spelling = [](const Option& option) {
    return std::string(option.name) + (option.value.empty() ? "" : " " + std::string(option.value));
  };
  for (const Option& option : Options) width = std::max(width, spelling(option).size());

  std::string text = "Usage: " + std::string(ProgramName) + " [OPTION]...\n"
                     "Shows rain falling in a window until the window is closed\n"
                     "or Ctrl+Q or Ctrl+W is pressed in it; F11 fills the screen\n"
                     "with rain and back.  In another program's window it runs\n"
                     "until SIGTERM or SIGINT, or until that window goes.  With\n"
                     "the sound on, M mutes it and + and - change its volume.\n\n";
  for (const Option& option : Options) {
    const std::string left = spelling(option);
    text += "  " + left + std::string(width - left.size() + 2, ' ') + std::string(option.help) + "\n";
  }
  text += "\nExit status: 0 closed, 1 could not start, 2 bad usage.\n";
  return text;
}

std::string VersionLine() { return std::string(ProgramName) + " " RAIN_VERSION; }

std::optional<unsigned long> ParseWindowId(std::string_view text) {
  const bool hex = text.starts_with("0x") || text.starts_with("0X");
  const std::string_view digits = hex ? text.substr(2) : text;
  std::uint64_t id = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id, hex ? 16 : 10);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || id == 0 || id > 0xFFFFFFFFu)
    return std::nullopt;
  return static_cast<unsigned long>(id);
}

int RunCommandLine(std::span<const std::string> args, int (*program)(const CommandLine&)) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  std::string text;
  switch (parsed.action) {
    case ParsedCommandLine::Action::Run: return program(parsed.options);
    case ParsedCommandLine::Action::UsageError:
      std::fprintf(stderr, "%s: %s (try %s --help)\n", ProgramName, parsed.error.c_str(), ProgramName);
      return 2;
    case ParsedCommandLine::Action::Help: text = Usage(); break;
    case ParsedCommandLine::Action::Version: text = VersionLine() + "\n"; break;
  }
  // A full disk or a closed pipe must not pass for success.
  const bool written = std::fputs(text.c_str(), stdout) >= 0;
  return std::fflush(stdout) == 0 && written ? 0 : 1;
}

}  // namespace app
