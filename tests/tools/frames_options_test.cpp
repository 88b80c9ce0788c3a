#include "tools/frames/options.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using tools::FrameFormat;
using tools::ParsedCommandLine;
using Action = ParsedCommandLine::Action;

ParsedCommandLine Parse(const std::vector<std::string>& args) { return tools::ParseFramesCommandLine(args); }

TEST(FramesOptions, ReadsEveryOptionInBothSpellings) {
  const auto all = Parse({"--seed", "4294967295", "--frames=999999", "--out", "dir",
                                           "--every", "100", "--trace=t.txt", "--picture", "p.bmp",
                                           "--format", "png", "--no-lightning", "--sound", "s.wav", "--volume=100",
                                           "--no-thunder"});
  ASSERT_EQ(all.action, Action::Run) << all.error;
  EXPECT_EQ(all.options.seed, 4294967295u);
  EXPECT_EQ(all.options.frames, 999999);
  EXPECT_EQ(all.options.outDir, "dir");
  EXPECT_EQ(all.options.every, 100u);
  EXPECT_EQ(all.options.tracePath, "t.txt");
  EXPECT_EQ(all.options.picturePath, "p.bmp");
  EXPECT_EQ(all.options.format, FrameFormat::Png);
  EXPECT_FALSE(all.options.lightning);
  EXPECT_EQ(all.options.soundPath, "s.wav");
  EXPECT_EQ(all.options.volume, 100);
  EXPECT_FALSE(all.options.thunder);
  const auto plain = Parse({"--seed", "1", "--frames", "2", "--out", "o"}).options;
  EXPECT_EQ(std::tuple(plain.lightning, plain.soundPath, plain.volume, plain.thunder),
            std::tuple(true, std::nullopt, 50, true));

  // Help wins even over an argument that is already wrong.
  EXPECT_EQ(Parse({"--frames", "x", "--help"}).action, Action::Help);
}

struct BadCase {
  std::vector<std::string> extra;  // after a valid --seed 1 --frames 2 --out o
  std::string messagePart;
};

void PrintTo(const BadCase& bad, std::ostream* os) {
  for (const auto& arg : bad.extra) *os << "'" << arg << "' ";
}

class FramesOptionsRejects : public ::testing::TestWithParam<BadCase> {};

TEST_P(FramesOptionsRejects, WithOneLineNamingTheFault) {
  std::vector<std::string> args = {"--seed", "1", "--frames", "2", "--out", "o"};
  args.insert(args.end(), GetParam().extra.begin(), GetParam().extra.end());
  const auto parsed = Parse(args);
  EXPECT_EQ(parsed.action, Action::UsageError);
  EXPECT_NE(parsed.error.find(GetParam().messagePart), std::string::npos) << parsed.error;
  EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
}

// One case for each way of being wrong.
INSTANTIATE_TEST_SUITE_P(
    BadArguments, FramesOptionsRejects,
    ::testing::Values(BadCase{{"--colour", "red"}, "unknown option '--colour'"},
                      BadCase{{"extra"}, "unexpected argument 'extra'"},
                      BadCase{{"--trace="}, "--trace needs a value"},
                      BadCase{{"--every"}, "--every needs a value"},
                      BadCase{{"--seed", "2"}, "--seed given twice"},
                      BadCase{{"--no-lightning=yes"}, "--no-lightning takes no value"},
                      BadCase{{"--no-lightning", "yes"}, "unexpected argument 'yes'"},
                      BadCase{{"--every", "0"}, "--every wants"},
                      BadCase{{"--format", "jpg"}, "--format wants ppm or png, not 'jpg'"},
                      BadCase{{"--sound", "s.wav", "--volume", "0"}, "--volume wants a whole number from 1 to 100, not '0'"},
                      BadCase{{"--sound", "s.wav", "--volume", "101"}, "not '101'"},
                      BadCase{{"--volume", "5"}, "--volume needs --sound FILE"},
                      BadCase{{"--no-thunder"}, "--no-thunder needs --sound FILE"},
                      BadCase{{"--size", "1920"}, "--size wants WIDTHxHEIGHT, each from 1 to 16384"},
                      BadCase{{"--size", "0x1080"}, "not '0x1080'"}, BadCase{{"--size", "1x16385"}, "not '1x16385'"},
                      BadCase{{"--size", "8192x4097"}, "at most 33554432 pixels in all, not '8192x4097'"},
                      // Quoted on one line, with no terminal escape let through.
                      BadCase{{"--every", "1\n2"}, "not '1?2'"}, BadCase{{"a\x1b[2J"}, "argument 'a?[2J'"}));

// Numbers are read whole, without sign or blanks, and within their range.
TEST(FramesOptions, RejectsMissingOptionsAndNumbersThatAreNotPlainAndInRange) {
  EXPECT_NE(Parse({"--frames", "2"}).error.find("missing --seed, --out"), std::string::npos);
  for (const std::string seed : {"abc", "-1", "+1", "4294967296"}) {
    const auto parsed = Parse({"--seed", seed, "--frames", "2", "--out", "o"});
    EXPECT_NE(parsed.error.find("--seed wants"), std::string::npos) << seed << ": " << parsed.error;
  }
  for (const std::string frames : {"12x", " 3", "0", "1000000", "99999999999999999999999"}) {
    const auto parsed = Parse({"--seed", "1", "--frames", frames, "--out", "o"});
    EXPECT_NE(parsed.error.find("--frames wants"), std::string::npos) << frames << ": " << parsed.error;
  }
}

// The inverse of FrameFileName, for the frames a run writes and no others.
TEST(FramesOptions, FrameWrittenAsKnowsTheRunsFramesByName) {
  const auto run = Parse({"--seed", "1", "--frames", "10", "--every", "4", "--out", "o"}).options;
  const std::pair<std::string, std::optional<int>> names[] = {
      {"frame-000004.ppm", 4},  {"frame-000010.ppm", 10}, {"frame-000003.ppm", {}}, {"frame-000012.ppm", {}},
      {"frame-000004.png", {}}, {"frame-00004.ppm", {}},  {"frame-+00004.ppm", {}}, {"frame-000000.ppm", {}}};
  for (const auto& [name, frame] : names) EXPECT_EQ(tools::FrameWrittenAs(name, run), frame) << name;
}

}  // namespace
