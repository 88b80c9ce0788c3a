// What the tools write never destroys an input and is never left torn: the
// frame tool's refusals of outputs that are its picture or its frames, a
// write past a file size limit, and a run ended by a signal.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "imaging/image_files.h"
#include "tests/tools/tool_test.h"

namespace {

namespace fs = std::filesystem;
using support::Finished;
using support::Lines;
using support::ReadFile;

class OutputsTest : public ToolTest {
 protected:
  // Every name under the scratch folder, links not followed, so any file
  // written or left behind shows.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    return names;
  }
  void ExpectOneLine(const Finished& run, int status, const std::string& message) {
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
  }
};

struct Clash {
  const char* name;
  std::vector<std::string> args;  // after --seed 1 --frames 2
  std::string message;
};

void PrintTo(const Clash& clash, std::ostream* os) { *os << clash.name; }

class OutputClashTest : public OutputsTest, public ::testing::WithParamInterface<Clash> {};

// pic.bmp is also reached as hard.bmp, sym.bmp, a/../pic.bmp, and as frame 2
// in bylink/ (a symbolic link) and byhard/ (a hard link); outlink is out.
TEST_P(OutputClashTest, IsRefusedWithStatus2BeforeAnythingIsWritten) {
  TBitmap picture;
  picture.SetSize(2, 2);
  imaging::SaveBmp24File(picture, dir_ / "pic.bmp");
  for (const char* folder : {"a", "out", "bylink", "byhard"}) fs::create_directory(dir_ / folder);
  fs::create_hard_link(dir_ / "pic.bmp", dir_ / "hard.bmp");
  fs::create_hard_link(dir_ / "pic.bmp", dir_ / "byhard" / "frame-000002.ppm");
  fs::create_symlink("pic.bmp", dir_ / "sym.bmp");
  fs::create_symlink("../pic.bmp", dir_ / "bylink" / "frame-000002.ppm");
  fs::create_symlink("out", dir_ / "outlink");
  const std::vector<std::string> before = Listing();
  const std::string bytes = ReadFile(dir_ / "pic.bmp");

  std::vector<std::string> args = {"--seed", "1", "--frames", "2"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  ExpectOneLine(Run(RAIN_FRAMES_BINARY, args), 2, GetParam().message);
  EXPECT_EQ(Listing(), before);
  EXPECT_EQ(ReadFile(dir_ / "pic.bmp"), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputClashTest,
    ::testing::Values(
        Clash{"TraceSpelledOtherwise", {"--picture", "@pic.bmp", "--out", "@out", "--trace", "@a/../pic.bmp"},
              "a/../pic.bmp is the picture"},
        Clash{"TraceHardLink", {"--picture", "@pic.bmp", "--out", "@out", "--trace", "@hard.bmp"}, "is the picture"},
        Clash{"TraceSymbolicLink", {"--picture", "@pic.bmp", "--out", "@out", "--trace", "@sym.bmp"}, "is the picture"},
        Clash{"TraceIsAFrameYetToBe", {"--out", "@out", "--trace", "@a/../outlink/frame-000002.ppm"},
              "is the file of frame 2 of this run"},
        Clash{"PictureIsAFrame", {"--picture", "@bylink/frame-000002.ppm", "--out", "@bylink"}, "is the file of frame 2"},
        Clash{"PictureLinkedAsAFrame", {"--picture", "@pic.bmp", "--out", "@bylink"}, "is the file of frame 2"},
        Clash{"PictureHardLinkedAsAFrame", {"--picture", "@pic.bmp", "--out", "@byhard"}, "is the file of frame 2"}),
    [](const auto& info) { return std::string(info.param.name); });

// Past the limit a write fails with EFBIG, as on a full disk: one line with
// the system's reason, no file under the output's name, no temporary file.
TEST_F(OutputsTest, AFileSizeLimitFailsTheWriteAndLeavesNothingTorn) {
  const struct {
    std::vector<std::string> run;
    std::string output;
  } cases[] = {
      {{RAIN_FRAMES_BINARY, "--seed", "1", "--frames", "1", "--out", "@out"}, "out/frame-000001.ppm"},
      {{RAIN_FRAMES_BINARY, "--seed", "1", "--frames", "1", "--out", "@out", "--format", "png"}, "out/frame-000001.png"},
      {{RAIN_DRAW_PICTURE_BINARY, "@out"}, "out/princess.bmp"},
  };
  for (const auto& write : cases) {
    fs::create_directory(dir_ / "out");
    std::vector<std::string> args = {"--fsize=4000", "--"};
    args.insert(args.end(), write.run.begin(), write.run.end());
    const Finished run = Run("prlimit", args);
    ExpectOneLine(run, 1, "cannot write " + (dir_ / write.output).string() + ": File too large");
    EXPECT_FALSE(fs::exists(dir_ / write.output)) << write.output;
    for (const auto& name : Listing()) EXPECT_FALSE(fs::path(name).filename().string().starts_with(".")) << name;
    fs::remove_all(dir_ / "out");
  }
}

// Ended by a signal in the middle of a long run, the tool leaves whole
// frames, no trace (it is complete only at the end) and no temporary file.
TEST_F(OutputsTest, ASignalLeavesOnlyCompleteFrames) {
  for (const int signal : {SIGTERM, SIGINT}) {
    support::ScratchFolder output;
    {
      support::ChildProcess child({RAIN_FRAMES_BINARY, "--seed", "1", "--frames", "999999", "--out",
                                   dir_ / "out", "--trace", dir_ / "trace"},
                                  output / "stderr.txt");
      ASSERT_TRUE(support::WaitUntil([&] { return fs::exists(dir_ / "out" / "frame-000003.ppm"); },
                                     std::chrono::minutes(1)));
      child.Signal(signal);
      EXPECT_EQ(child.WaitForExit(std::chrono::minutes(1)), 128 + signal);
    }
    for (const auto& name : Listing()) {
      const fs::path path = name;
      EXPECT_FALSE(path.filename().string().starts_with(".")) << name;
      EXPECT_TRUE(path.filename() == "out" || fs::file_size(path) == 15 + 800u * 533u * 3u) << name;
    }
    fs::remove_all(dir_ / "out");
  }
}

}  // namespace
