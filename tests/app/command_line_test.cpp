// The program's command line, read through its option table: what each
// argument asks for, and the one line each fault is reported with.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using app::Option;
using Action = app::ParsedCommandLine::Action;

// A table with an option that takes a value, as later options will: the row
// reports the value it was given as its error, so the cases can see it.
constexpr Option WithValue[] = {
    {"--size", "N", "", [](app::CommandLine&, std::string_view value) { return "got '" + std::string(value) + "'"; }},
    {"--help", "", "", [](app::CommandLine& line, std::string_view) {
       line.help = true;
       return std::string();
     }}};

struct Case {
  std::vector<std::string> args;
  Action action;
  std::string error;  // a part of the message; empty when there is none
  bool withValueTable = false;
};

void PrintTo(const Case& c, std::ostream* os) {
  for (const auto& arg : c.args) *os << "'" << arg << "' ";
}

class CommandLineReads : public ::testing::TestWithParam<Case> {};

TEST_P(CommandLineReads, WhatItAsksForOrOneLineNamingTheFault) {
  const Case& c = GetParam();
  const auto parsed =
      c.withValueTable ? app::ParseCommandLine(c.args, WithValue) : app::ParseCommandLine(c.args);
  EXPECT_EQ(parsed.action, c.action) << parsed.error;
  if (c.error.empty()) {
    EXPECT_EQ(parsed.error, "");
  } else {
    EXPECT_NE(parsed.error.find(c.error), std::string::npos) << parsed.error;
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    EXPECT_LT(parsed.error.size(), 100u) << "an argument is quoted whole";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineReads,
    ::testing::Values(
        Case{{}, Action::Run, ""}, Case{{"--help"}, Action::Help, ""}, Case{{"--version"}, Action::Version, ""},
        Case{{"--version", "--help"}, Action::Help, ""},
        // A fault wins, wherever it stands.
        Case{{"--help", "--verbose"}, Action::UsageError, "unknown option '--verbose'"},
        Case{{"-h"}, Action::UsageError, "unknown option '-h'"},
        Case{{"--fullscreen=1"}, Action::UsageError, "unknown option '--fullscreen'"},
        Case{{"rain"}, Action::UsageError, "unexpected argument 'rain'"},
        Case{{""}, Action::UsageError, "unexpected argument ''"},
        Case{{"--version", "--version"}, Action::UsageError, "--version given twice"},
        Case{{"--help=yes"}, Action::UsageError, "--help takes no value"},
        Case{{"--bad\nname"}, Action::UsageError, "unknown option '--bad?name'"},
        Case{{"--" + std::string(500, 'x')}, Action::UsageError, "unknown option '--xxxx"},
        // Cut before a two-byte letter, never through it.
        Case{{std::string(59, 'x') + "\u00e9\u00e9"}, Action::UsageError, std::string(59, 'x') + "...'"},
        Case{{"--size", "2"}, Action::UsageError, "got '2'", true},
        Case{{"--size=-2"}, Action::UsageError, "got '-2'", true},
        Case{{"--size"}, Action::UsageError, "--size needs a value", true},
        Case{{"--size="}, Action::UsageError, "--size needs a value", true},
        Case{{"--size", "--help"}, Action::UsageError, "--size needs a value", true}));

}  // namespace
