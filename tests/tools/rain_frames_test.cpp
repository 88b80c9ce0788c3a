// Runs the real rain-frames binary and checks what it leaves behind: exit
// status, the one-line error, the frame files and the draw trace; and that
// neither tool's output overwrites an input or is left torn.

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "drawing/canvas.h"
#include "imaging/image_files.h"
#include "tests/support/pixel_check.h"
#include "tests/tools/tool_test.h"

namespace fs = std::filesystem;

namespace {

using imaging::SaveBmp24File;
using support::Fill;
using support::Finished;
using support::Lines;
using support::Listing;
using support::ReadFile;

class RainFramesTest : public ToolTest {
 protected:
  Finished Run(const std::vector<std::string>& args) { return ToolTest::Run(RAIN_FRAMES_BINARY, args); }

  // One line on stderr that holds `part`, in which "@" stands for the
  // scratch folder, as in the arguments.
  void ExpectOneLine(const Finished& run, int status, std::string part) {
    if (const auto at = part.find('@'); at != std::string::npos) part.replace(at, 1, dir_.path().string() + "/");
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
  }

  // A run that must succeed without a word.
  void RunWell(const std::vector<std::string>& args) {
    const Finished run = Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
  }

  // A picture of one black pixel in the scratch folder.
  void SavePicture(const std::string& name) {
    TBitmap picture;
    picture.SetSize(1, 1);
    SaveBmp24File(picture, dir_ / name);
  }
};

TEST_F(RainFramesTest, HelpGoesToStdoutWithStatusZero) {
  const Finished help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: rain-frames")) << help.out;
  EXPECT_EQ(help.err, "");
}

struct FailureCase {
  std::string name;
  std::vector<std::string> args;  // after --seed 1 --frames 2
  int status;
  std::string messagePart;
};

void PrintTo(const FailureCase& failure, std::ostream* os) { *os << failure.name; }

class RainFramesFailure : public RainFramesTest, public ::testing::WithParamInterface<FailureCase> {};

// Under a timeout, as a planted FIFO would block a tool that opened it.  A
// failed run leaves no file behind, at most the output folder it made.
TEST_P(RainFramesFailure, ExitsWithItsStatusAndOneLineAndLeavesNoFile) {
  SavePicture("good.bmp");
  std::ofstream(dir_ / "bad.bmp") << "BM but nothing a bitmap needs";
  std::ofstream(dir_ / "a-file") << "not a folder";
  fs::create_directories(dir_ / "blocked" / "frame-000002.ppm");
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir_ / "devlink");
  fs::create_symlink("/dev/null", dir_ / "devlink" / "frame-000001.ppm");
  fs::create_symlink("/proc/self/fd/1", dir_ / "stdout");
  fs::create_symlink("loop", dir_ / "loop");
  const auto before = Listing(dir_.path());

  std::vector<std::string> args = {"60", RAIN_FRAMES_BINARY, "--seed", "1", "--frames", "2"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const Finished run = ToolTest::Run("timeout", args);
  ExpectOneLine(run, GetParam().status, GetParam().messagePart);
  EXPECT_TRUE(run.err.starts_with("rain-frames: ")) << run.err;
  for (const auto& name : Listing(dir_.path()))
    EXPECT_TRUE(before.contains(name) || fs::is_directory(dir_ / name)) << "left behind: " << name;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, RainFramesFailure,
    ::testing::Values(
        FailureCase{"BadNumber", {"--every", "0", "--out", "@f"}, 2, "--every wants"},
        FailureCase{"MissingOption", {}, 2, "missing --out"},
        FailureCase{"OutputFolderUnderAFile", {"--picture", "@good.bmp", "--out", "@a-file/f"}, 1,
                    "cannot create output folder"},
        FailureCase{"MissingPicture", {"--picture", "@none.bmp", "--out", "@f"}, 1,
                    "cannot load picture '@none.bmp': No such file or directory\n"},
        FailureCase{"MalformedPicture", {"--picture", "@bad.bmp", "--out", "@f"}, 1,
                    "cannot load picture '@bad.bmp': unsupported header size"},
        FailureCase{"TraceInMissingFolder",
                    {"--picture", "@good.bmp", "--out", "@f", "--trace", "@none/trace.txt"}, 1,
                    "none/trace.txt': No such file or directory\n"},
        // Names that are no file to replace, refused before any frame is
        // written; a link to one too, as /dev/stdout is.
        FailureCase{"FrameIsAFolder", {"--picture", "@good.bmp", "--out", "@blocked"}, 1,
                    "cannot write '@blocked/frame-000002.ppm': it is a folder, not a regular file\n"},
        FailureCase{"TraceIsAFifo", {"--out", "@f", "--trace", "@fifo"}, 1,
                    "cannot write '@fifo': it is a FIFO, not a regular file\n"},
        FailureCase{"TraceIsADevice", {"--out", "@f", "--trace", "/dev/full"}, 1,
                    "cannot write '/dev/full': it is a device, not a regular file\n"},
        FailureCase{"SoundIsADevice", {"--out", "@f", "--sound", "/dev/full"}, 1,
                    "cannot write '/dev/full': it is a device, not a regular file\n"},
        FailureCase{"SoundInMissingFolder", {"--out", "@f", "--sound", "@none/rain.wav"}, 1,
                    "none/rain.wav': No such file or directory\n"},
        FailureCase{"FrameLinksToADevice", {"--out", "@devlink"}, 1,
                    "cannot write '@devlink/frame-000001.ppm': it links to a device, not to a regular file\n"},
        FailureCase{"TraceLinksToStandardOutput", {"--out", "@f", "--trace", "@stdout"}, 1,
                    "cannot write '@stdout': it links to this program's standard output\n"},
        // Paths in runtime errors are quoted, on one line, in our words; a
        // loop of links fails std::filesystem's look as a folder it may not
        // enter does.
        FailureCase{"OutputFolderWithControlCharacters", {"--out", "/proc/a\nb\x1b[31mRED"}, 1,
                    "cannot create output folder '/proc/a?b?[31mRED': No such file or directory\n"},
        FailureCase{"OutputFolderInALinkLoop", {"--out", "@loop/f"}, 1,
                    "cannot create output folder '@loop/f': Too many levels of symbolic links\n"}),
    [](const auto& info) { return info.param.name; });

// An output that is the picture or a frame of the run, however spelt or
// linked, is refused before anything is written.  pic.bmp is also hard.bmp,
// sym.bmp and frame 2 in bylink/ (a symbolic link) and byhard/ (a hard
// link); outlink is out.
TEST_F(RainFramesTest, RefusesOutputsThatAreThePictureOrAFrameAndWritesNothing) {
  SavePicture("pic.bmp");
  for (const char* folder : {"a", "out", "bylink", "byhard"}) fs::create_directory(dir_ / folder);
  fs::create_hard_link(dir_ / "pic.bmp", dir_ / "hard.bmp");
  fs::create_hard_link(dir_ / "pic.bmp", dir_ / "byhard" / "frame-000002.ppm");
  fs::create_symlink("pic.bmp", dir_ / "sym.bmp");
  fs::create_symlink("../pic.bmp", dir_ / "bylink" / "frame-000002.ppm");
  fs::create_symlink("out", dir_ / "outlink");
  const auto before = Listing(dir_.path());
  const std::string bytes = ReadFile(dir_ / "pic.bmp");
  // The option refused, its file, the output folder, and what the file is.
  const std::string picture = "the picture", frame2 = "the file of frame 2 of this run";
  const std::array<std::string, 4> clashes[] = {
      {"--trace", "@a/../pic.bmp", "@out", picture}, {"--trace", "@hard.bmp", "@out", picture},
      {"--trace", "@sym.bmp", "@out", picture}, {"--trace", "@a/../outlink/frame-000002.ppm", "@out", frame2},
      {"--picture", "@bylink/frame-000002.ppm", "@bylink", frame2}, {"--picture", "@pic.bmp", "@bylink", frame2},
      {"--picture", "@pic.bmp", "@byhard", frame2}, {"--sound", "@sym.bmp", "@out", picture},
      {"--sound", "@a/../outlink/frame-000002.ppm", "@out", frame2}};
  for (const auto& [option, file, out, what] : clashes) {
    std::vector<std::string> args = {"--seed", "1", "--frames", "2", "--out", out, option, file};
    if (option != "--picture") args.insert(args.end(), {"--picture", "@pic.bmp"});
    ExpectOneLine(Run(args), 2, "rain-frames: " + option + " '" + file + "' is " + what + "\n");
    EXPECT_EQ(Listing(dir_.path()), before) << option << " " << file;
  }
  EXPECT_EQ(ReadFile(dir_ / "pic.bmp"), bytes);
  ExpectOneLine(Run({"--seed", "1", "--frames", "2", "--out", "@out", "--trace", "@t", "--sound", "@a/../t"}), 2,
                "rain-frames: --sound '@a/../t' is the trace\n");
  EXPECT_EQ(Listing(dir_.path()), before);
}

// Past a file size limit a write fails with EFBIG, as on a full disk: one
// line with the system's reason, and neither the output nor a temporary
// file.  The tools themselves keep SIGXFSZ from killing them.
TEST_F(RainFramesTest, BothToolsFailAWritePastTheFileSizeLimitAndLeaveNothingTorn) {
  const std::pair<std::vector<std::string>, std::string> writes[] = {
      {{RAIN_FRAMES_BINARY, "--seed", "1", "--frames", "1", "--out", "@out"}, "out/frame-000001.ppm"},
      {{RAIN_FRAMES_BINARY, "--seed", "1", "--frames", "1", "--out", "@out", "--format", "png"},
       "out/frame-000001.png"},
      {{RAIN_DRAW_PICTURE_BINARY, "@out"}, "out/princess.bmp"}};
  for (auto [args, output] : writes) {
    fs::create_directory(dir_ / "out");
    args.insert(args.begin(), {"--fsize=4000", "--"});
    ExpectOneLine(ToolTest::Run("prlimit", args), 1, "cannot write '@" + output + "': File too large\n");
    const auto left = output.ends_with("bmp") ? std::set<std::string>{"icons"} : std::set<std::string>{};
    EXPECT_EQ(Listing(dir_ / "out"), left) << "a torn output or a temporary file";
    fs::remove_all(dir_ / "out");
  }
}

// Ended by SIGTERM in the middle of a long run, the tool leaves whole frames
// only: no trace (it is whole only at the end) and no temporary file.  Run as
// a background job (signal 0: the plain start), a signal ignored at start
// stays ignored, and descriptors 0, 1 and 2 closed at start are held on
// /dev/null, so no frame or trace takes one and gets stderr's messages.
TEST_F(RainFramesTest, ASignalLeavesOnlyCompleteFramesAndABackgroundStartKeepsItsIgnoredSignalAndDescriptors) {
  for (const int ignored : {0, SIGHUP, SIGINT}) {
    {
      const std::string background = "trap '' " + std::to_string(ignored) + "; exec \"$0\" \"$@\" <&- >&- 2>&-";
      const std::string start = ignored == 0 ? "exec \"$0\" \"$@\"" : background;
      support::ChildProcess child({"sh", "-c", start, RAIN_FRAMES_BINARY, "--seed", "1", "--frames", "999999",
                                   "--out", dir_ / "out", "--trace", dir_ / "trace"},
                                  {});
      const auto third = [&] { return fs::exists(dir_ / "out" / "frame-000003.ppm"); };
      ASSERT_TRUE(support::WaitUntil(third, std::chrono::minutes(1)));
      for (const char* fd : {"0", "1", "2"}) {
        const fs::path held = fs::read_symlink(fs::path("/proc") / std::to_string(child.Pid()) / "fd" / fd);
        EXPECT_TRUE(ignored == 0 || held == "/dev/null") << fd << " is " << held;
      }
      child.Signal(ignored);
      child.Signal(SIGTERM);
      EXPECT_EQ(child.WaitForExit(std::chrono::minutes(1)), 128 + SIGTERM) << "ignored: " << ignored;
    }
    for (const fs::path name : Listing(dir_.path())) {
      EXPECT_TRUE(name == "out" || (name.filename().string().starts_with("frame-") &&
                                    fs::file_size(dir_ / name) == 15 + 800u * 533u * 3u)) << name;
    }
    fs::remove_all(dir_ / "out");
  }
  // Help to a closed stdout fails.
  support::ChildProcess help({"sh", "-c", "exec \"$0\" --help >&-", RAIN_FRAMES_BINARY}, {});
  EXPECT_EQ(help.WaitForExit(std::chrono::minutes(1)), 1);
}

// In a shared folder, links planted under the names the tool writes are
// replaced as names: the files they point at stay as they were.
TEST_F(RainFramesTest, ReplacesLinksPlantedAsFrameOrTraceNamesAndNotWhatTheyPointAt) {
  fs::create_directory(dir_ / "out");
  const std::pair<const char*, const char*> links[] = {{"out/frame-000001.ppm", "theirs-1"}, {"trace", "theirs-2"}};
  for (const auto& [name, theirs] : links) {
    std::ofstream(dir_ / theirs) << "theirs";
    fs::create_symlink(dir_ / theirs, dir_ / name);
  }
  RunWell({"--seed", "1", "--frames", "1", "--out", "@out", "--trace", "@trace"});
  for (const auto& [name, theirs] : links)
    EXPECT_TRUE(ReadFile(dir_ / theirs) == "theirs" && fs::is_regular_file(fs::symlink_status(dir_ / name))) << name;
}

TEST_F(RainFramesTest, WritesEveryKthFrameAndTheLastInEitherFormat) {
  for (const std::string format : {"ppm", "png"}) {
    const fs::path out = dir_ / format / "frames";  // created with its parent
    RunWell({"--seed", "7", "--frames", "5", "--every", "2", "--format", format, "--out", out});
    const std::set<std::string> names = Listing(out);
    EXPECT_EQ(names, (std::set<std::string>{"frame-000002." + format, "frame-000004." + format,
                                            "frame-000005." + format}));
    for (const auto& name : names) {
      const std::string data = ReadFile(out / name);
      if (format == "png") {
        EXPECT_TRUE(data.starts_with("\x89PNG\r\n\x1a\n")) << name;
      } else {
        EXPECT_TRUE(data.starts_with("P6\n800 533\n255\n")) << name;
        EXPECT_EQ(data.size(), 15 + 800u * 533u * 3u) << name;
      }
    }
  }
}

TEST_F(RainFramesTest, SameSeedGivesIdenticalFramesAndTraces) {
  const int frames = 3;
  for (const std::string run : {"a", "b", "c"}) {
    RunWell({"--seed", run == "c" ? "8" : "7", "--frames", std::to_string(frames), "--out", "@" + run, "--trace",
             "@" + run + ".trace"});
  }
  for (int frame = 1; frame <= frames; ++frame) {
    const std::string name = "frame-00000" + std::to_string(frame) + ".ppm";
    EXPECT_EQ(ReadFile(dir_ / "a" / name), ReadFile(dir_ / "b" / name)) << name;
  }
  const std::string trace = ReadFile(dir_ / "a.trace");
  EXPECT_EQ(trace, ReadFile(dir_ / "b.trace"));
  EXPECT_NE(trace, ReadFile(dir_ / "c.trace")) << "the seed must matter";

  // 36 draws a frame, each "bound result" within its bound; every frame
  // opens with the lightning draw out of 1000.
  const auto lines = Lines(trace);
  ASSERT_EQ(lines.size(), 36u * frames);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    int bound = -1;
    int result = -1;
    std::istringstream(lines[i]) >> bound >> result;
    EXPECT_EQ(lines[i], std::to_string(bound) + " " + std::to_string(result)) << "line " << i + 1;
    EXPECT_TRUE(result >= 0 && result < bound) << "line " << i + 1 << ": " << lines[i];
    EXPECT_TRUE(i % 36 != 0 || bound == 1000) << "line " << i + 1 << ": " << lines[i];
  }
}

TEST_F(RainFramesTest, PaintsACustomPictureWithItsTransparentColour) {
  // 3 x 3; green, the lower-left colour, is transparent.  The first frame's
  // background border is painted with the canvas's initial black pen, and no
  // drop reaches the top rows yet, so every pixel is known.
  constexpr TColor red = 0x0000FF, blue = 0xFF0000, green = 0x00FF00;
  const TColor rows[3][3] = {{red, blue, green}, {blue, green, red}, {green, red, blue}};
  TBitmap picture;
  picture.SetSize(3, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) picture.SetPixel(x, y, rows[y][x]);
  SaveBmp24File(picture, dir_ / "small.bmp");

  RunWell({"--seed", "3", "--frames", "1", "--out", "@f", "--picture", "@small.bmp", "--trace", "@trace"});

  // Inside the border the background is black, or white on a lightning strike.
  const bool strike = std::stoi(Lines(ReadFile(dir_ / "trace")).at(0).substr(5)) < 5;
  const TColor inside = strike ? clWhite : clBlack;
  const TColor expected[3][3] = {{red, blue, clBlack}, {blue, inside, red}, {clBlack, red, blue}};

  const std::string ppm = ReadFile(dir_ / "f" / "frame-000001.ppm");
  ASSERT_EQ(ppm.size(), 15 + 800u * 533u * 3u);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      const auto* p = reinterpret_cast<const unsigned char*>(ppm.data()) + 15 + (y * 800 + x) * 3;
      EXPECT_EQ(p[0] | p[1] << 8 | p[2] << 16, expected[y][x]) << "pixel (" << x << ", " << y << ")";
    }
  }
}

// A frame of another size shows the rain as a screen of that size does.  The
// picture is transparent green but for a red and a blue pixel at its top
// left, which show where and how large the frame shows it.  Seed 474 strikes
// on its first draw: the lit sky shows how far the scene reaches, black
// where it does not.
TEST_F(RainFramesTest, SizedFramesShowTheSceneWhereTheRegionsLayoutPutsIt) {
  TBitmap picture;
  Fill(picture, 800, 533, 0x00FF00);
  picture.SetPixel(0, 0, support::Red);
  picture.SetPixel(1, 0, support::Blue);
  SaveBmp24File(picture, dir_ / "corner.bmp");
  const struct {
    int width, height, scale, x, y, top, bottom;  // the picture's scale (0: shrunk) and place; the scene's rows
  } cases[] = {{1920, 1080, 2, 160, 14, 0, 1080}, {400, 300, 0, 0, 24, 24, 276}};
  for (const auto& c : cases) {
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    RunWell({"--seed", "474", "--frames", "1", "--picture", "@corner.bmp", "--size", size, "--out", "@" + size});
    const std::string ppm = ReadFile(dir_ / size / "frame-000001.ppm");
    const std::string header = "P6\n" + std::to_string(c.width) + " " + std::to_string(c.height) + "\n255\n";
    ASSERT_TRUE(ppm.starts_with(header) && ppm.size() == header.size() + 3u * c.width * c.height) << size;
    const auto at = [&](int x, int y) {
      const auto* p = reinterpret_cast<const unsigned char*>(ppm.data()) + header.size() + (y * c.width + x) * 3;
      return static_cast<TColor>(p[0] | p[1] << 8 | p[2] << 16);
    };
    const int n = std::max(c.scale, 1);
    EXPECT_EQ(std::tuple(at(c.x, c.y), at(c.x + n - 1, c.y + n - 1), at(c.x + n, c.y), at(c.width - 3, c.top + n),
                         at(c.width - 3, c.bottom - 3)),
              std::tuple(support::Red, support::Red, support::Blue, clWhite, clWhite)) << size;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width && (y < c.top || y >= c.bottom); ++x) ASSERT_EQ(at(x, y), clBlack) << x << "," << y;
  }
}

// The sound of 12 s, in which seed 7's first strike (frame 133) is heard:
// a WAV file of 750 stereo 16-bit sample frames per frame at 48 kHz, the
// same for the same seed, and the frames and the trace the same as without
// it.
TEST_F(RainFramesTest, SoundIsAWavFileOf750SampleFramesPerFrameAndChangesNoFrameOrTrace) {
  const std::string frames = "768";
  const std::pair<std::string, std::vector<std::string>> runs[] = {
      {"silent", {}}, {"a", {"--sound", "@a.wav"}}, {"b", {"--sound", "@b.wav"}},
      {"c", {"--sound", "@c.wav", "--seed", "8"}}, {"calm", {"--sound", "@calm.wav", "--no-thunder"}},
      {"soft", {"--sound", "@soft.wav", "--volume=10"}}};
  for (const auto& [run, extra] : runs) {
    std::vector<std::string> args = {"--frames", frames, "--every", frames, "--out", "@" + run, "--trace",
                                     "@" + run + ".trace"};
    args.insert(args.end(), extra.begin(), extra.end());
    if (run != "c") args.insert(args.end(), {"--seed", "7"});
    RunWell(args);
  }
  const std::string frame = "frame-000" + frames + ".ppm";
  EXPECT_EQ(ReadFile(dir_ / "a" / frame), ReadFile(dir_ / "silent" / frame));
  EXPECT_EQ(ReadFile(dir_ / "a.trace"), ReadFile(dir_ / "silent.trace"));

  const std::string a = ReadFile(dir_ / "a.wav");
  const auto field = [&](std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(a[at + i]);
    return value;
  };
  const std::uint32_t dataSize = 768u * 750u * 4u;
  ASSERT_EQ(a.size(), 44 + dataSize);
  EXPECT_EQ(a.substr(0, 4) + a.substr(8, 8) + a.substr(36, 4), "RIFFWAVEfmt data");
  EXPECT_EQ(std::tuple(field(4, 4), field(16, 4), field(20, 2), field(22, 2), field(24, 4), field(28, 4), field(32, 2),
                       field(34, 2), field(40, 4)),
            std::tuple(36 + dataSize, 16u, 1u, 2u, 48000u, 192000u, 4u, 16u, dataSize));
  EXPECT_EQ(ReadFile(dir_ / "b.wav"), a);
  for (const char* other : {"c.wav", "calm.wav", "soft.wav"}) {
    const std::string sound = ReadFile(dir_ / other);
    EXPECT_EQ(sound.size(), a.size()) << other;
    EXPECT_NE(sound, a) << other << " should differ";
  }
  EXPECT_NE(a.find_first_not_of('\0', 44), std::string::npos) << "silence";
}

// Seed 474 strikes on its first draw; the 1 x 1 picture is all transparent.
// Without lightning the draws are the same, and so is every pixel but those
// the strike lit, which stay dark.
TEST_F(RainFramesTest, NoLightningKeepsTheSkyDarkWithTheSameDrawsAndDrops) {
  SavePicture("dot.bmp");
  for (const std::string run : {"lit", "calm"}) {
    std::vector<std::string> args = {"--seed", "474", "--frames", "1", "--picture", "@dot.bmp", "--out", "@" + run,
                                     "--trace", "@" + run + ".trace"};
    if (run == "calm") args.push_back("--no-lightning");
    RunWell(args);
  }
  EXPECT_EQ(ReadFile(dir_ / "calm.trace"), ReadFile(dir_ / "lit.trace"));
  std::string lit = ReadFile(dir_ / "lit" / "frame-000001.ppm");
  std::size_t struck = 0;
  for (std::size_t i = 15; i + 3 <= lit.size(); i += 3) {
    if (lit.compare(i, 3, "\xff\xff\xff") == 0) lit.replace(i, 3, 3, '\0'), ++struck;
  }
  EXPECT_GT(struck, 400'000u) << "the seed must strike";
  EXPECT_TRUE(ReadFile(dir_ / "calm" / "frame-000001.ppm") == lit) << "the calm frame is not the lit one darkened";
}

}  // namespace
