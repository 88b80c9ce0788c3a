// The picture and icon the program ships, and the tool that draws them:
// the facts the window and the scene rely on, and that the committed files
// are exactly what the tool draws today.

#include <gtest/gtest.h>
#include <unistd.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "canvas.h"
#include "imagefile.h"

namespace {

namespace fs = std::filesystem;

const fs::path kResources = RAIN_RESOURCES_DIR;
constexpr TColor kBackground = 200 | 191 << 8 | 231 << 16;

std::vector<unsigned char> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<unsigned char>& d, std::size_t at) {
  return d.at(at) | d.at(at + 1) << 8 | d.at(at + 2) << 16 | static_cast<std::uint32_t>(d.at(at + 3)) << 24;
}

class PictureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    picture_ = new TBitmap;
    LoadBmpFile(*picture_, (kResources / "princess.bmp").string());
  }
  static void TearDownTestSuite() { delete picture_; }
  static TBitmap* picture_;
};
TBitmap* PictureTest::picture_ = nullptr;

TEST_F(PictureTest, IsA24BitUncompressedBottomUpBmpOf800By533) {
  const auto d = ReadBytes(kResources / "princess.bmp");
  ASSERT_GE(d.size(), 54u);
  EXPECT_EQ(static_cast<std::int32_t>(U32(d, 18)), 800);
  EXPECT_EQ(static_cast<std::int32_t>(U32(d, 22)), 533) << "positive: rows bottom-up";
  EXPECT_EQ(d[28] | d[29] << 8, 24);
  EXPECT_EQ(U32(d, 30), 0u) << "BI_RGB";
  EXPECT_EQ(picture_->width(), 800);
  EXPECT_EQ(picture_->height(), 533);
}

TEST_F(PictureTest, BackgroundIsTheLowerLeftColourAndTheFigureStaysInItsBox) {
  ASSERT_EQ(picture_->GetPixel(0, 532), kBackground);
  long background = 0;
  long figure = 0;
  long columnSum = 0;
  int outside = 0;
  bool onBottomRow = false;
  for (int y = 0; y < 533; ++y) {
    for (int x = 0; x < 800; ++x) {
      if (picture_->GetPixel(x, y) == kBackground) {
        ++background;
        continue;
      }
      ++figure;
      columnSum += x;
      if (x < 249 || x > 524 || y < 83) ++outside;
      if (y == 532) onBottomRow = true;
    }
  }
  EXPECT_NEAR(static_cast<double>(background) / (800 * 533), 0.77, 0.015);
  EXPECT_EQ(outside, 0) << "figure pixels outside columns 249..524, rows 83..532";
  EXPECT_TRUE(onBottomRow) << "the figure stands on the bottom edge";
  ASSERT_GT(figure, 0);
  EXPECT_LT(static_cast<double>(columnSum) / figure, 400.0) << "the figure stands left of the centre";
}

TEST(IconTest, Is32By32WithAtMost16Colours) {
  const auto d = ReadBytes(kResources / "mainicon.bmp");
  ASSERT_GE(d.size(), 54u);
  const std::uint32_t paletteSize = U32(d, 46);
  EXPECT_GE(paletteSize, 1u);
  EXPECT_LE(paletteSize, 16u);
  TBitmap icon;
  LoadBmpFile(icon, (kResources / "mainicon.bmp").string());
  ASSERT_EQ(icon.width(), 32);
  ASSERT_EQ(icon.height(), 32);
  std::set<TColor> colours;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) colours.insert(icon.GetPixel(x, y));
  EXPECT_LE(colours.size(), 16u);
  EXPECT_GE(colours.size(), 4u) << "a picture, not a blank tile";
}

TEST(IconTest, ThemePngsHaveTheirNamedSizes) {
  for (int size : {32, 128}) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const auto path = kResources / "icons" / ("rain-" + std::to_string(size) + ".png");
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << path << ": " << image.message;
    EXPECT_EQ(image.width, static_cast<png_uint_32>(size));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(size));
    png_image_free(&image);
  }
}

// --- The tool ---------------------------------------------------------------

struct ToolRun {
  int status;
  std::string stderrText;
};

ToolRun RunTool(const std::string& args) {
  // CTest runs tests in parallel, each in its own process: one file per process.
  const fs::path err = fs::temp_directory_path() / ("rain-draw-picture-stderr-" + std::to_string(getpid()) + ".txt");
  const std::string command = std::string("'") + RAIN_DRAW_PICTURE_BINARY + "' " + args + " 2>'" + err.string() + "'";
  const int raw = std::system(command.c_str());
  const auto text = ReadBytes(err);
  fs::remove(err);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(text.begin(), text.end())};
}

class DrawPictureToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("rain-draw-picture-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(DrawPictureToolTest, RedrawsTheCommittedFilesByteForByte) {
  std::string quoted(1, '\'');
  quoted.append(dir_.string()).push_back('\'');
  const ToolRun run = RunTool(quoted);
  ASSERT_EQ(run.status, 0) << run.stderrText;
  for (const char* name : {"princess.bmp", "mainicon.bmp", "icons/rain-32.png", "icons/rain-128.png"}) {
    EXPECT_TRUE(ReadBytes(dir_ / name) == ReadBytes(kResources / name))
        << name << " differs from the committed file: run rain-draw-picture resources";
  }
}

struct BadUse {
  const char* name;
  const char* args;  // "%s" stands for the test's scratch folder
  int status;
};

void PrintTo(const BadUse& use, std::ostream* os) { *os << use.name; }

class DrawPictureBadUseTest : public DrawPictureToolTest, public ::testing::WithParamInterface<BadUse> {};

TEST_P(DrawPictureBadUseTest, FailsWithOneLine) {
  fs::create_directories(dir_ / "blocked");
  fs::create_directories(dir_ / "blocked" / "princess.bmp");  // a folder where the picture goes
  std::ofstream(dir_ / "file") << "x";
  fs::create_directories(dir_ / "noicons");
  std::ofstream(dir_ / "noicons" / "icons") << "x";  // a file where the icons folder goes

  std::string args = GetParam().args;
  if (const auto at = args.find("%s"); at != std::string::npos) args.replace(at, 2, dir_.string());
  const ToolRun run = RunTool(args);
  EXPECT_EQ(run.status, GetParam().status) << run.stderrText;
  ASSERT_FALSE(run.stderrText.empty());
  EXPECT_EQ(run.stderrText.find('\n'), run.stderrText.size() - 1) << run.stderrText;
}

INSTANTIATE_TEST_SUITE_P(Arguments, DrawPictureBadUseTest,
                         ::testing::Values(BadUse{"NoFolder", "", 2}, BadUse{"TwoFolders", "/tmp /tmp", 2},
                                           BadUse{"Option", "--frames", 2},
                                           BadUse{"MissingFolder", "%s/absent", 1},
                                           BadUse{"FileNotFolder", "%s/file", 1},
                                           BadUse{"IconsFolderIsAFile", "%s/noicons", 1},
                                           BadUse{"PictureUnwritable", "%s/blocked", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
