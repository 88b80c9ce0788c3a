#include "frames_options.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

ParsedCommandLine Parse(const std::vector<std::string>& args) {
  return ParseFramesCommandLine(args);
}

TEST(FramesOptions, AcceptsEveryOptionInBothSpellings) {
  const auto parsed = Parse({"--seed", "4294967295", "--frames=999999", "--out", "dir",
                             "--every", "100", "--trace=t.txt", "--picture", "p.bmp",
                             "--format", "png"});
  ASSERT_EQ(parsed.action, ParsedCommandLine::Action::Run) << parsed.error;
  EXPECT_EQ(parsed.options.seed, 4294967295u);
  EXPECT_EQ(parsed.options.frames, 999999);
  EXPECT_EQ(parsed.options.outDir, "dir");
  EXPECT_EQ(parsed.options.every, 100u);
  EXPECT_EQ(parsed.options.tracePath, "t.txt");
  EXPECT_EQ(parsed.options.picturePath, "p.bmp");
  EXPECT_EQ(parsed.options.format, FrameFormat::Png);
}

TEST(FramesOptions, LeavesOptionalOnesAtTheirDefaults) {
  const auto parsed = Parse({"--out", "o", "--frames", "3", "--seed", "0"});
  ASSERT_EQ(parsed.action, ParsedCommandLine::Action::Run) << parsed.error;
  EXPECT_EQ(parsed.options.seed, 0u);
  EXPECT_EQ(parsed.options.every, 1u);
  EXPECT_FALSE(parsed.options.tracePath);
  EXPECT_FALSE(parsed.options.picturePath);
  EXPECT_EQ(parsed.options.format, FrameFormat::Ppm);
}

TEST(FramesOptions, HelpWinsWhereverItStands) {
  EXPECT_EQ(Parse({"--help"}).action, ParsedCommandLine::Action::Help);
  EXPECT_EQ(Parse({"--frames", "x", "--help"}).action, ParsedCommandLine::Action::Help);
}

struct BadCase {
  std::vector<std::string> args;
  std::string messagePart;
};

void PrintTo(const BadCase& bad, std::ostream* os) {
  for (const auto& arg : bad.args) *os << "'" << arg << "' ";
}

class FramesOptionsRejects : public ::testing::TestWithParam<BadCase> {};

TEST_P(FramesOptionsRejects, WithAMessageNamingTheFault) {
  const auto parsed = Parse(GetParam().args);
  EXPECT_EQ(parsed.action, ParsedCommandLine::Action::UsageError);
  EXPECT_NE(parsed.error.find(GetParam().messagePart), std::string::npos) << parsed.error;
  EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << "must be one line";
}

const std::vector<std::string> kValid = {"--seed", "1", "--frames", "2", "--out", "o"};

std::vector<std::string> ValidWith(std::vector<std::string> extra) {
  std::vector<std::string> args = kValid;
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, FramesOptionsRejects,
    ::testing::Values(
        BadCase{ValidWith({"--colour", "red"}), "unknown option '--colour'"},
        BadCase{ValidWith({"-v"}), "unexpected argument '-v'"},
        BadCase{ValidWith({"extra"}), "unexpected argument 'extra'"},
        BadCase{ValidWith({"--every"}), "--every needs a value"},
        BadCase{{"--seed", "1", "--frames", "2", "--out", "--every", "3"}, "--out needs a value"},
        BadCase{ValidWith({"--trace="}), "--trace needs a value"},
        BadCase{ValidWith({"--seed", "2"}), "--seed given twice"},
        BadCase{{"--seed", "abc", "--frames", "2", "--out", "o"}, "--seed wants"},
        BadCase{{"--seed", "-1", "--frames", "2", "--out", "o"}, "--seed wants"},
        BadCase{{"--seed", "+1", "--frames", "2", "--out", "o"}, "--seed wants"},
        BadCase{{"--seed", "4294967296", "--frames", "2", "--out", "o"}, "--seed wants"},
        BadCase{{"--seed", "1", "--frames", "12x", "--out", "o"}, "--frames wants"},
        BadCase{{"--seed", "1", "--frames", " 3", "--out", "o"}, "--frames wants"},
        BadCase{{"--seed", "1", "--frames", "0", "--out", "o"}, "--frames wants"},
        BadCase{{"--seed", "1", "--frames", "1000000", "--out", "o"}, "--frames wants"},
        BadCase{{"--seed", "1", "--frames", "99999999999999999999999", "--out", "o"}, "--frames wants"},
        BadCase{ValidWith({"--every", "0"}), "--every wants"},
        BadCase{ValidWith({"--format", "jpg"}), "--format wants ppm or png, not 'jpg'"},
        BadCase{{"--frames", "2"}, "missing --seed, --out"},
        BadCase{{}, "missing --seed, --frames, --out"}));

TEST(FramesOptions, WritesEveryKthFrameAndAlwaysTheLast) {
  FramesOptions options;
  options.frames = 5;
  options.every = 2;
  std::vector<int> written;
  for (int frame = 1; frame <= options.frames; ++frame) {
    if (IsFrameWritten(frame, options)) written.push_back(frame);
  }
  EXPECT_EQ(written, (std::vector<int>{2, 4, 5}));
}

TEST(FramesOptions, NamesFramesWithSixDigits) {
  EXPECT_EQ(FrameFileName(7, FrameFormat::Ppm), "frame-000007.ppm");
  EXPECT_EQ(FrameFileName(999999, FrameFormat::Png), "frame-999999.png");
}

}  // namespace
