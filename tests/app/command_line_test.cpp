// The program's command line, read through its option table: what the
// arguments ask for, or the one short line that names their fault.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Action = app::ParsedCommandLine::Action;

// An option with a value, as later options have.  It reports the value it
// was given as its fault, so the cases can see the value.
constexpr app::Option WithValue[] = {
    {"--size", "N", "", [](app::CommandLine&, std::string_view value) { return "got '" + std::string(value) + "'"; }}};

struct Case {
  std::vector<std::string> args;
  Action action;
  std::string error = "";  // a part of the message
  std::span<const app::Option> table = app::ProgramOptions();
};

void PrintTo(const Case& c, std::ostream* os) { *os << testing::PrintToString(c.args); }

class CommandLineReads : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineReads, WhatItAsksForOrOneLineNamingTheFault) {
  const auto parsed = app::ParseCommandLine(GetParam().args, GetParam().table);
  EXPECT_EQ(parsed.action, GetParam().action) << parsed.error;
  EXPECT_NE(parsed.error.find(GetParam().error), std::string::npos) << parsed.error;
  EXPECT_TRUE(parsed.error.size() < 100 && parsed.error.find('\n') == std::string::npos) << parsed.error;
}

const std::string x59(59, 'x');
INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineReads,
    ::testing::Values(
        Case{{}, Action::Run}, Case{{"--version"}, Action::Version}, Case{{"--version", "--help"}, Action::Help},
        // A fault wins wherever it stands.
        Case{{"--help", "-h"}, Action::UsageError, "unknown option '-h'"},
        Case{{"--fullscreen=1"}, Action::UsageError, "unknown option '--fullscreen'"},
        Case{{""}, Action::UsageError, "unexpected argument ''"},
        Case{{"--version", "--version"}, Action::UsageError, "--version given twice"},
        Case{{"--help=yes"}, Action::UsageError, "--help takes no value"},
        // Quoted on one line, cut short, never inside a letter.
        Case{{"--a\nb"}, Action::UsageError, "'--a?b'"},
        Case{{x59 + "\u00e9\u00e9"}, Action::UsageError, "'" + x59 + "...'"},
        Case{{"--size", "2"}, Action::UsageError, "got '2'", WithValue},
        Case{{"--size=-2"}, Action::UsageError, "got '-2'", WithValue},
        Case{{"--size="}, Action::UsageError, "--size needs a value", WithValue},
        Case{{"--size", "--help"}, Action::UsageError, "--size needs a value", WithValue}));

}  // namespace
