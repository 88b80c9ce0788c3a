// Runs the real rain-frames binary and checks what it leaves behind: exit
// status, the one-line error, the frame files and the draw trace.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "canvas.h"
#include "imagefile.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct RunResult {
  int status = -1;  // exit status, or -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class RainFramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    std::replace(name.begin(), name.end(), '/', '-');
    dir_ = fs::temp_directory_path() / ("rain-frames-" + std::to_string(getpid()) + "-" + name);
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the tool without a shell, with stdout and stderr caught in files.
  RunResult Run(const std::vector<std::string>& args) {
    const std::string outPath = (dir_ / "stdout.txt").string();
    const std::string errPath = (dir_ / "stderr.txt").string();
    std::vector<std::string> all = {RAIN_FRAMES_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    RunResult result;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int wstatus = 0;
      waitpid(pid, &wstatus, 0);
      if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
  }

  std::set<std::string> FilesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
  }

  fs::path dir_;
};

// Checks that the tool failed with `status` and said so in one line.
::testing::AssertionResult FailedWithOneLine(const RunResult& run, int status,
                                             const std::string& messagePart) {
  const auto lines = Lines(run.err);
  if (run.status != status || lines.size() != 1 || !lines[0].starts_with("rain-frames: ") ||
      lines[0].find(messagePart) == std::string::npos) {
    return ::testing::AssertionFailure()
           << "status " << run.status << " (want " << status << "), stderr:\n"
           << run.err;
  }
  return ::testing::AssertionSuccess();
}

// A binary P6 file, split into its header numbers and its pixel bytes.
struct Ppm {
  std::string magic;
  int width = 0;
  int height = 0;
  int maxval = 0;
  std::string bytes;
};

Ppm ReadPpm(const fs::path& path) {
  const std::string data = ReadFile(path);
  std::istringstream in(data);
  Ppm ppm;
  in >> ppm.magic >> ppm.width >> ppm.height >> ppm.maxval;
  in.get();  // the single white-space character before the pixels
  ppm.bytes = data.substr(static_cast<std::size_t>(in.tellg()));
  return ppm;
}

TEST_F(RainFramesTest, ReportsBadArgumentsWithStatusTwoAndHelpWithZero) {
  EXPECT_TRUE(FailedWithOneLine(Run({"--seed", "1", "--frames", "0", "--out", dir_}), 2,
                                "--frames wants"));
  EXPECT_TRUE(FailedWithOneLine(Run({"--seed", "1"}), 2, "missing --frames, --out"));

  const RunResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: rain-frames")) << help.out;
  EXPECT_EQ(help.err, "");
}

struct FailureCase {
  std::string name;
  std::function<std::vector<std::string>(const fs::path& dir)> extraArgs;
  std::string messagePart;
};

void PrintTo(const FailureCase& failure, std::ostream* os) { *os << failure.name; }

class RainFramesFailure : public RainFramesTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RainFramesFailure, ExitsWithOneAndOneLine) {
  TBitmap picture;
  picture.SetSize(2, 2);
  SaveBmp24File(picture, dir_ / "good.bmp");
  std::ofstream(dir_ / "bad.bmp") << "BM but nothing a bitmap needs";
  std::ofstream(dir_ / "a-file") << "not a folder";
  fs::create_directories(dir_ / "blocked" / "frame-000002.ppm");

  std::vector<std::string> args = {"--seed", "1", "--frames", "2"};
  const auto extra = GetParam().extraArgs(dir_);
  args.insert(args.end(), extra.begin(), extra.end());
  EXPECT_TRUE(FailedWithOneLine(Run(args), 1, GetParam().messagePart));
}

std::vector<std::string> Args(std::initializer_list<std::string> args) { return args; }

INSTANTIATE_TEST_SUITE_P(
    Failures, RainFramesFailure,
    ::testing::Values(
        FailureCase{"OutputFolderUnderAFile",
                    [](const fs::path& d) {
                      return Args({"--picture", d / "good.bmp", "--out", d / "a-file" / "frames"});
                    },
                    "cannot create output folder"},
        FailureCase{"FrameFileIsAFolder",
                    [](const fs::path& d) {
                      return Args({"--picture", d / "good.bmp", "--out", d / "blocked"});
                    },
                    "cannot write frame"},
        FailureCase{"MissingPicture",
                    [](const fs::path& d) {
                      return Args({"--picture", d / "none.bmp", "--out", d / "frames"});
                    },
                    "cannot load picture"},
        FailureCase{"MalformedPicture",
                    [](const fs::path& d) {
                      return Args({"--picture", d / "bad.bmp", "--out", d / "frames"});
                    },
                    "cannot load picture"},
        FailureCase{"TraceInMissingFolder",
                    [](const fs::path& d) {
                      return Args({"--picture", d / "good.bmp", "--out", d / "frames", "--trace",
                                   d / "none" / "trace.txt"});
                    },
                    "cannot write trace file"},
        // The trace fits the buffer, so only the final flush can notice.
        FailureCase{"TraceOnFullDevice",
                    [](const fs::path& d) {
                      return Args({"--picture", d / "good.bmp", "--out", d / "frames", "--trace",
                                   "/dev/full"});
                    },
                    "cannot write trace file"}),
    [](const auto& info) { return info.param.name; });

TEST_F(RainFramesTest, WritesEveryKthFrameAndTheLastAsPpm) {
  const fs::path out = dir_ / "new" / "frames";  // created with its parent
  const RunResult run = Run({"--seed", "7", "--frames", "5", "--every", "2", "--out", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(FilesIn(out),
            (std::set<std::string>{"frame-000002.ppm", "frame-000004.ppm", "frame-000005.ppm"}));
  for (const auto& name : FilesIn(out)) {
    const Ppm ppm = ReadPpm(out / name);
    EXPECT_EQ(ppm.magic, "P6") << name;
    EXPECT_EQ(ppm.width, 800) << name;
    EXPECT_EQ(ppm.height, 533) << name;
    EXPECT_EQ(ppm.maxval, 255) << name;
    EXPECT_EQ(ppm.bytes.size(), 800u * 533u * 3u) << name;
  }
}

TEST_F(RainFramesTest, PngFormatWritesPngFiles) {
  const RunResult run =
      Run({"--seed", "7", "--frames", "1", "--format", "png", "--out", dir_ / "png"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(FilesIn(dir_ / "png"), (std::set<std::string>{"frame-000001.png"}));
  EXPECT_TRUE(ReadFile(dir_ / "png" / "frame-000001.png").starts_with("\x89PNG\r\n\x1a\n"));
}

TEST_F(RainFramesTest, SameSeedGivesIdenticalFramesAndTraces) {
  const int frames = 3;
  for (const char* run : {"a", "b", "c"}) {
    const std::string seed = std::string(run) == "c" ? "8" : "7";
    const RunResult result = Run({"--seed", seed, "--frames", std::to_string(frames), "--out",
                                  dir_ / run, "--trace", dir_ / (std::string(run) + ".trace")});
    ASSERT_EQ(result.status, 0) << result.err;
  }
  for (int frame = 1; frame <= frames; ++frame) {
    const std::string name = "frame-00000" + std::to_string(frame) + ".ppm";
    EXPECT_EQ(ReadFile(dir_ / "a" / name), ReadFile(dir_ / "b" / name)) << name;
  }
  const std::string trace = ReadFile(dir_ / "a.trace");
  EXPECT_EQ(trace, ReadFile(dir_ / "b.trace"));
  EXPECT_NE(trace, ReadFile(dir_ / "c.trace")) << "the seed must matter";

  // 36 draws a frame, each within its bound; every frame opens with the
  // lightning draw out of 1000.
  const auto lines = Lines(trace);
  ASSERT_EQ(lines.size(), 36u * frames);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::istringstream line(lines[i]);
    int bound = -1;
    int result = -1;
    std::string rest;
    line >> bound >> result;
    ASSERT_TRUE(line && !(line >> rest)) << "line " << i + 1 << ": " << lines[i];
    EXPECT_TRUE(result >= 0 && result < bound) << "line " << i + 1 << ": " << lines[i];
    if (i % 36 == 0) {
      EXPECT_EQ(bound, 1000) << "line " << i + 1;
    }
  }
}

TEST_F(RainFramesTest, PaintsACustomPictureWithItsTransparentColour) {
  // 3 x 3; green, the lower-left colour, is transparent.  The first frame's
  // background border is painted with the canvas's initial black pen, and no
  // drop reaches the top rows yet, so every pixel is known.
  constexpr TColor red = 0x0000FF;
  constexpr TColor blue = 0xFF0000;
  constexpr TColor green = 0x00FF00;
  const TColor rows[3][3] = {{red, blue, green}, {blue, green, red}, {green, red, blue}};
  TBitmap picture;
  picture.SetSize(3, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) picture.SetPixel(x, y, rows[y][x]);
  }
  SaveBmp24File(picture, dir_ / "small.bmp");

  const RunResult run = Run({"--seed", "3", "--frames", "1", "--out", dir_ / "f", "--picture",
                             dir_ / "small.bmp", "--trace", dir_ / "trace"});
  ASSERT_EQ(run.status, 0) << run.err;

  // Inside the border the background is black, or white on a lightning strike.
  const bool strike = std::stoi(Lines(ReadFile(dir_ / "trace")).at(0).substr(5)) < 5;
  const TColor inside = strike ? clWhite : clBlack;
  const TColor expected[3][3] = {
      {red, blue, clBlack}, {blue, inside, red}, {clBlack, red, blue}};

  const Ppm ppm = ReadPpm(dir_ / "f" / "frame-000001.ppm");
  ASSERT_EQ(ppm.bytes.size(), 800u * 533u * 3u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(ppm.bytes.data()) + (y * 800 + x) * 3;
      const TColor got = p[0] | (p[1] << 8) | (p[2] << 16);
      EXPECT_EQ(got, expected[y][x]) << "pixel (" << x << ", " << y << ")";
    }
  }
}

}  // namespace
