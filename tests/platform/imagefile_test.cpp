// Image files: what we write is what a reader gets back, headers say what
// the rest of the program relies on, and every failure raises.

#include <gtest/gtest.h>
#include <unistd.h>
#include <png.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "imagefile.h"
#include "pixel_check.h"

namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kBlue = 0xFF0000;

// A red "F" on blue, 7 x 5: asymmetric in both directions, and 7 * 3 bytes
// per row needs padding in a BMP.
std::optional<TColor> LetterF(int x, int y) {
  const bool stem = x == 1;
  const bool top = y == 0 && x >= 1 && x <= 4;
  const bool middle = y == 2 && x >= 1 && x <= 3;
  return stem || top || middle ? kRed : kBlue;
}

void DrawF(TBitmap& b) {
  b.SetSize(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) b.SetPixel(x, y, *LetterF(x, y));
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<unsigned char>& d, std::size_t at) {
  return d.at(at) | d.at(at + 1) << 8 | d.at(at + 2) << 16 | static_cast<std::uint32_t>(d.at(at + 3)) << 24;
}
std::uint16_t U16(const std::vector<unsigned char>& d, std::size_t at) {
  return static_cast<std::uint16_t>(d.at(at) | d.at(at + 1) << 8);
}

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("rain-imagefile-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(dir_);
    DrawF(f_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
  TBitmap f_;
};

TEST_F(ImageFileTest, Bmp24RoundTripKeepsEveryPixel) {
  SaveBmp24File(f_, Path("f.bmp"));
  TBitmap loaded;
  LoadBmpFile(loaded, Path("f.bmp"));
  ASSERT_EQ(loaded.width(), 7);
  ASSERT_EQ(loaded.height(), 5);
  EXPECT_TRUE(PixelsAre(loaded, Snapshot(loaded), LetterF));
}

TEST_F(ImageFileTest, Bmp24IsUncompressedBottomUpWithPaddedRows) {
  SaveBmp24File(f_, Path("f.bmp"));
  const auto d = ReadBytes(Path("f.bmp"));
  ASSERT_GE(d.size(), 54u);
  EXPECT_EQ(d[0], 'B');
  EXPECT_EQ(d[1], 'M');
  const std::uint32_t offset = U32(d, 10);
  EXPECT_EQ(static_cast<std::int32_t>(U32(d, 18)), 7);
  EXPECT_EQ(static_cast<std::int32_t>(U32(d, 22)), 5) << "a positive height means bottom-up rows";
  EXPECT_EQ(U16(d, 28), 24);
  EXPECT_EQ(U32(d, 30), 0u) << "BI_RGB";
  const std::size_t rowBytes = 24;  // 7 * 3 rounded up to a multiple of 4
  ASSERT_EQ(d.size(), offset + 5 * rowBytes);
  // The first stored row is the bottom one (blue, red stem); the last, the top bar.
  const auto pixel = [&](int storedRow, int x) {
    const std::size_t at = offset + storedRow * rowBytes + x * 3;
    return std::vector<int>{d[at], d[at + 1], d[at + 2]};  // B, G, R
  };
  EXPECT_EQ(pixel(0, 0), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(pixel(0, 1), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ(pixel(4, 4), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ(pixel(4, 5), (std::vector<int>{255, 0, 0}));
}

TEST_F(ImageFileTest, Bmp8KeepsPixelsWithAPaletteOfTheirColours) {
  SaveBmp8File(f_, Path("f8.bmp"));
  const auto d = ReadBytes(Path("f8.bmp"));
  ASSERT_GE(d.size(), 54u);
  EXPECT_EQ(U16(d, 28), 8);
  EXPECT_EQ(U32(d, 46), 2u) << "palette entries used";
  TBitmap loaded;
  LoadBmpFile(loaded, Path("f8.bmp"));
  ASSERT_EQ(loaded.width(), 7);
  EXPECT_TRUE(PixelsAre(loaded, Snapshot(loaded), LetterF));
}

TEST_F(ImageFileTest, Bmp8RefusesMoreColoursThanAPaletteHolds) {
  TBitmap many;
  many.SetSize(17, 17);
  for (int i = 0; i < 17 * 17; ++i) many.SetPixel(i % 17, i / 17, static_cast<TColor>(i));
  EXPECT_THROW(SaveBmp8File(many, Path("many.bmp")), Exception);
}

TEST_F(ImageFileTest, PpmIsHeaderThenRgbBytes) {
  SavePpmFile(f_, Path("f.ppm"));
  std::vector<unsigned char> want;
  for (char c : std::string("P6\n7 5\n255\n")) want.push_back(static_cast<unsigned char>(c));
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const bool red = *LetterF(x, y) == kRed;
      want.insert(want.end(), {static_cast<unsigned char>(red ? 255 : 0), 0, static_cast<unsigned char>(red ? 0 : 255)});
    }
  }
  EXPECT_EQ(ReadBytes(Path("f.ppm")), want);
}

TEST_F(ImageFileTest, PngDecodesToTheSamePixels) {
  SavePngFile(f_, Path("f.png"));
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, Path("f.png").c_str()), 0) << image.message;
  ASSERT_EQ(image.width, 7u);
  ASSERT_EQ(image.height, 5u);
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_NE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr), 0) << image.message;
  TBitmap decoded;
  decoded.SetSize(7, 5);
  for (int i = 0; i < 35; ++i)
    decoded.SetPixel(i % 7, i / 7, rgb[i * 3] | rgb[i * 3 + 1] << 8 | static_cast<TColor>(rgb[i * 3 + 2]) << 16);
  EXPECT_TRUE(PixelsAre(decoded, Snapshot(decoded), LetterF));
}

// Bytes that are not a whole BMP must raise, never crash or half-load.
std::vector<unsigned char> ValidBmp() {
  const auto path = std::filesystem::temp_directory_path() / ("rain-imagefile-valid-" + std::to_string(getpid()) + ".bmp");
  TBitmap f;
  DrawF(f);
  SaveBmp24File(f, path.string());
  auto d = ReadBytes(path.string());
  std::filesystem::remove(path);
  return d;
}

struct Malformed {
  const char* name;
  std::function<std::vector<unsigned char>()> bytes;
};

void PrintTo(const Malformed& m, std::ostream* os) { *os << m.name; }

class MalformedBmpTest : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedBmpTest, Raises) {
  const auto bytes = GetParam().bytes();
  TBitmap b;
  DrawF(b);
  try {
    LoadBmp(b, std::as_bytes(std::span<const unsigned char>(bytes)));
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_FALSE(e.Message().empty());
    EXPECT_EQ(e.Message().find('\n'), std::string::npos);
  }
  EXPECT_TRUE(PixelsAre(b, Snapshot(b), LetterF)) << "a failed load must leave the bitmap alone";
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, MalformedBmpTest,
    ::testing::Values(
        Malformed{"Empty", [] { return std::vector<unsigned char>{}; }},
        Malformed{"MagicOnly", [] { return std::vector<unsigned char>{'B', 'M'}; }},
        Malformed{"NotABmp", [] { return std::vector<unsigned char>(100, 0x5A); }},
        Malformed{"HeaderOnly", [] { auto d = ValidBmp(); d.resize(54); return d; }},
        Malformed{"HalfThePixels", [] { auto d = ValidBmp(); d.resize(54 + 60); return d; }},
        Malformed{"HugeWidth",
                  [] {
                    auto d = ValidBmp();
                    d[18] = d[19] = d[20] = 0xFF;
                    d[21] = 0x7F;
                    return d;
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadBmpFileTest, MissingFileNamesThePath) {
  TBitmap b;
  try {
    LoadBmpFile(b, "/nonexistent/picture.bmp");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("/nonexistent/picture.bmp"), std::string::npos) << e.Message();
  }
}

// Every writer reports a failed write: a missing folder, a full disk (the
// bytes fail only when stdio flushes them) and a bitmap with nothing in it.
using Writer = void (*)(const TBitmap&, const std::string&);

struct WriteFailure {
  const char* name;
  Writer write;
  const char* path;
  bool empty;
};

void PrintTo(const WriteFailure& f, std::ostream* os) { *os << f.name << " to " << f.path; }

class WriteFailureTest : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(WriteFailureTest, Raises) {
  TBitmap b;
  if (!GetParam().empty) DrawF(b);
  EXPECT_THROW(GetParam().write(b, GetParam().path), Exception);
}

std::vector<WriteFailure> WriteFailures() {
  const std::pair<const char*, Writer> writers[] = {
      {"Bmp24", SaveBmp24File}, {"Bmp8", SaveBmp8File}, {"Png", SavePngFile}, {"Ppm", SavePpmFile}};
  std::vector<WriteFailure> out;
  for (const auto& [name, write] : writers) {
    out.push_back({name, write, "/nonexistent/folder/out", false});
    if (std::filesystem::exists("/dev/full")) out.push_back({name, write, "/dev/full", false});
    out.push_back({name, write, "/tmp/rain-imagefile-empty", true});
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(Writers, WriteFailureTest, ::testing::ValuesIn(WriteFailures()), [](const auto& info) {
  const std::string path = info.param.path;
  const char* why = info.param.empty ? "EmptyBitmap" : (path == "/dev/full" ? "DiskFull" : "MissingFolder");
  return std::string(info.param.name) + why;
});

}  // namespace
