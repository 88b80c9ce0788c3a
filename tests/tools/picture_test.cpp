// The picture and icon the program ships, and the tool that draws them:
// the facts the window and the scene rely on, and that the committed files
// are exactly what the tool draws today.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "imaging/image_files.h"
#include "tests/tools/tool_test.h"

namespace {

using imaging::LoadBmpFile;
using support::Finished;
using support::Lines;
using support::ReadFile;

namespace fs = std::filesystem;

const fs::path kResources = RAIN_RESOURCES_DIR;
constexpr TColor kBackground = 200 | 191 << 8 | 231 << 16;
// The sizes desktops ask an icon theme for, from menus to software centres.
constexpr unsigned kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

std::string IconFile(unsigned size) { return "icons/rain-" + std::to_string(size) + ".png"; }

std::uint32_t U32(const std::string& d, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(d.at(at + i))); };
  return byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
}

TEST(PictureTest, IsA24BitBottomUpBmpWhoseFigureStandsInItsBoxOnTheBackground) {
  const auto d = ReadFile(kResources / "princess.bmp");
  ASSERT_GE(d.size(), 54u);
  EXPECT_EQ(static_cast<std::int32_t>(U32(d, 18)), 800);
  EXPECT_EQ(static_cast<std::int32_t>(U32(d, 22)), 533) << "positive: rows bottom-up";
  EXPECT_EQ(U32(d, 28) & 0xFFFF, 24u);
  EXPECT_EQ(U32(d, 30), 0u) << "BI_RGB";
  TBitmap picture;
  LoadBmpFile(picture, (kResources / "princess.bmp").string());
  ASSERT_EQ(picture.width(), 800);
  ASSERT_EQ(picture.height(), 533);
  ASSERT_EQ(picture.GetPixel(0, 532), kBackground);
  long figure = 0, columnSum = 0;
  int outside = 0;
  bool onBottomRow = false;
  for (int y = 0; y < 533; ++y) {
    for (int x = 0; x < 800; ++x) {
      if (picture.GetPixel(x, y) == kBackground) continue;
      ++figure;
      columnSum += x;
      if (x < 249 || x > 524 || y < 83) ++outside;
      onBottomRow = onBottomRow || y == 532;
    }
  }
  EXPECT_NEAR(1.0 - static_cast<double>(figure) / (800 * 533), 0.77, 0.015) << "background share";
  EXPECT_EQ(outside, 0) << "figure pixels outside columns 249..524, rows 83..532";
  EXPECT_TRUE(onBottomRow) << "the figure stands on the bottom edge";
  ASSERT_GT(figure, 0);
  EXPECT_LT(static_cast<double>(columnSum) / figure, 400.0) << "the figure stands left of the centre";
}

TEST(IconTest, Is32By32WithAtMost16ColoursAndTheThemeIconsHaveTheirSizes) {
  const auto d = ReadFile(kResources / "mainicon.bmp");
  ASSERT_GE(d.size(), 54u);
  EXPECT_GE(U32(d, 46), 1u) << "palette entries";
  EXPECT_LE(U32(d, 46), 16u) << "palette entries";
  TBitmap icon;
  LoadBmpFile(icon, (kResources / "mainicon.bmp").string());
  ASSERT_EQ(icon.width(), 32);
  ASSERT_EQ(icon.height(), 32);
  std::set<TColor> colours;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) colours.insert(icon.GetPixel(x, y));
  EXPECT_LE(colours.size(), 16u);
  EXPECT_GE(colours.size(), 4u) << "a picture, not a blank tile";

  for (unsigned size : kIconSizes) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const auto path = kResources / IconFile(size);
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << path << ": " << image.message;
    EXPECT_EQ(image.width, size);
    EXPECT_EQ(image.height, size);
    png_image_free(&image);
  }
}

// --- The tool ---------------------------------------------------------------

class DrawPictureToolTest : public ToolTest {};

TEST_F(DrawPictureToolTest, RedrawsTheCommittedFilesByteForByte) {
  fs::create_directories(dir_ / "out");
  const Finished run = Run(RAIN_DRAW_PICTURE_BINARY, {"@out"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> names = {"princess.bmp", "mainicon.bmp"};
  for (unsigned size : kIconSizes) names.push_back(IconFile(size));
  for (const auto& name : names) {
    EXPECT_TRUE(ReadFile(dir_ / "out" / name) == ReadFile(kResources / name))
        << name << " differs from the committed file: run rain-draw-picture resources";
  }
}

struct BadUse {
  const char* name;
  std::vector<std::string> args;
  int status;
};

void PrintTo(const BadUse& use, std::ostream* os) { *os << use.name; }

class DrawPictureBadUseTest : public DrawPictureToolTest, public ::testing::WithParamInterface<BadUse> {};

TEST_P(DrawPictureBadUseTest, FailsWithOneLine) {
  fs::create_directories(dir_ / "blocked" / "princess.bmp");  // a folder where the picture goes
  fs::create_directories(dir_ / "noicons");
  std::ofstream(dir_ / "noicons" / "icons") << "x";  // a file where the icons folder goes
  const Finished run = Run(RAIN_DRAW_PICTURE_BINARY, GetParam().args);
  EXPECT_EQ(run.status, GetParam().status) << run.err;
  EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Arguments, DrawPictureBadUseTest,
                         ::testing::Values(BadUse{"NoFolder", {}, 2}, BadUse{"Option", {"--frames"}, 2},
                                           BadUse{"MissingFolder", {"@absent"}, 1},
                                           BadUse{"IconsFolderIsAFile", {"@noicons"}, 1},
                                           BadUse{"PictureUnwritable", {"@blocked"}, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
