// The program's command line, read through its option table: what the
// arguments ask for, each option in its own field, or the one short line
// that names their fault.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Action = app::ParsedCommandLine::Action;

// An option with a value, as later options have.  It reports the value it
// was given as its fault, so the cases can see the value.
constexpr app::Option WithValue[] = {
    {"--size", "N", "", [](app::CommandLine&, std::string_view value) { return "got '" + std::string(value) + "'"; }}};

// Scale, full screen, root, window id and no lightning, as a run gets them.
using Fields = std::tuple<int, bool, bool, unsigned long, bool>;

struct Case {
  std::vector<std::string> args;
  Action action;
  std::string error = "";  // a part of the message
  Fields fields = {};
  std::span<const app::Option> table = app::ProgramOptions();
};

void PrintTo(const Case& c, std::ostream* os) { *os << testing::PrintToString(c.args); }

class CommandLineReads : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineReads, WhatItAsksForOrOneLineNamingTheFault) {
  const auto parsed = app::ParseCommandLine(GetParam().args, GetParam().table);
  EXPECT_EQ(parsed.action, GetParam().action) << parsed.error;
  const app::ScreenOptions& s = parsed.options.screen;
  EXPECT_EQ(Fields(s.scale.value_or(0), s.fullScreen, s.root, s.windowId.value_or(0), !parsed.options.lightning),
            GetParam().fields);
  EXPECT_NE(parsed.error.find(GetParam().error), std::string::npos) << parsed.error;
  EXPECT_TRUE(parsed.error.size() < 100 && parsed.error.find('\n') == std::string::npos) << parsed.error;
}

const std::string x59(59, 'x');
INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineReads,
    ::testing::Values(
        Case{{}, Action::Run}, Case{{"--version"}, Action::Version}, Case{{"--version", "--help"}, Action::Help},
        // Each screen option lands in its own field; --no-lightning goes with any.
        Case{{"--scale=4"}, Action::Run, "", {4, false, false, 0, false}},
        Case{{"--fullscreen"}, Action::Run, "", {0, true, false, 0, false}},
        Case{{"--root", "--no-lightning"}, Action::Run, "", {0, false, true, 0, true}},
        Case{{"--window-id", "0x2a00007"}, Action::Run, "", {0, false, false, 0x2a00007, false}},
        // A fault wins wherever it stands.
        Case{{"--help", "-h"}, Action::UsageError, "unknown option '-h'"},
        Case{{"--fullscreen=1"}, Action::UsageError, "--fullscreen takes no value"},
        Case{{"--scale", "2", "--fullscreen"}, Action::UsageError, "--fullscreen cannot be combined with --scale"},
        // A screensaver's preview adds --window-id to the command with --root.
        Case{{"--root", "--window-id=7"}, Action::Run, "", {0, false, true, 7, false}},
        Case{{"--window-id=7", "--root", "--fullscreen"}, Action::UsageError, "--fullscreen cannot be combined with --root"},
        Case{{"--scale=5"}, Action::UsageError, "--scale needs a whole number from 1 to 4, not '5'"},
        Case{{"--scale", "02"}, Action::UsageError, "not '02'"},
        Case{{"--window-id", "0x"}, Action::UsageError, "--window-id needs a window id, not '0x'"},
        Case{{""}, Action::UsageError, "unexpected argument ''"},
        Case{{"--version", "--version"}, Action::UsageError, "--version given twice"},
        Case{{"--help=yes"}, Action::UsageError, "--help takes no value"},
        // Quoted on one line, cut short, never inside a letter.
        Case{{"--a\nb"}, Action::UsageError, "'--a?b'"},
        Case{{x59 + "\u00e9\u00e9"}, Action::UsageError, "'" + x59 + "...'"},
        Case{{"--size", "2"}, Action::UsageError, "got '2'", {}, WithValue},
        Case{{"--size=-2"}, Action::UsageError, "got '-2'", {}, WithValue},
        Case{{"--size="}, Action::UsageError, "--size needs a value", {}, WithValue},
        Case{{"--size", "--help"}, Action::UsageError, "--size needs a value", {}, WithValue}));

// On, volume and thunder, or the fault.
TEST(CommandLineSound, IsOffUnlessAskedAndTakesAVolumeFromOneToAHundred) {
  struct SoundCase {
    std::vector<std::string> args;
    std::tuple<bool, int, bool> sound;
    std::string error = "";
  };
  const SoundCase cases[] = {
      {{}, {false, 50, true}},
      {{"--sound"}, {true, 50, true}},
      {{"--volume", "100"}, {true, 100, true}},
      {{"--volume=1", "--sound", "--no-thunder"}, {true, 1, false}},
      {{"--no-thunder"}, {false, 50, false}},
      {{"--root", "--volume", "7"}, {true, 7, true}},
  };
  for (const auto& c : cases) {
    const auto parsed = app::ParseCommandLine(c.args);
    ASSERT_EQ(parsed.action, Action::Run) << parsed.error;
    const app::SoundOptions& sound = parsed.options.sound;
    EXPECT_EQ(std::tuple(sound.on, sound.volume, sound.thunder), c.sound) << testing::PrintToString(c.args);
  }
  for (const char* volume : {"0", "101", "050", "+5", "5%", "1e2", "99999999999"}) {
    const auto parsed = app::ParseCommandLine(std::vector<std::string>{"--volume", volume});
    EXPECT_EQ(parsed.action, Action::UsageError) << volume;
    EXPECT_EQ(parsed.error, "--volume needs a whole number from 1 to 100, not '" + std::string(volume) + "'");
  }
  EXPECT_EQ(app::ParseCommandLine(std::vector<std::string>{"--sound=yes"}).error, "--sound takes no value");
}

TEST(ParseWindowIdTest, TakesDecimalAndHexIdsOnly) {
  for (const auto& [text, id] : {std::pair<const char*, unsigned long>{"12345", 12345}, {"0x2a00007", 0x2a00007},
                                 {"0X1F", 0x1F}, {"4294967295", 0xFFFFFFFFu}, {"0xffffffff", 0xFFFFFFFFu}})
    EXPECT_EQ(app::ParseWindowId(text), std::optional(id)) << text;
  for (const char* text : {"", "0", "0x", "0x0", "-5", "+5", "12a", " 12", "0x1g", "0x-1", "4294967296",
                           "0x100000000", "99999999999999999999999"})
    EXPECT_EQ(app::ParseWindowId(text), std::nullopt) << "'" << text << "'";
}

}  // namespace
