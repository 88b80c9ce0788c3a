// Image files: what we write is what a reader gets back, and every failure
// raises instead of crashing or half-loading.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "drawing/exception.h"
#include "imaging/image_files.h"
#include "tests/support/message_of.h"
#include "tests/support/pixel_check.h"
#include "tests/support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace imaging;
using support::Blue;
using support::MessageOf;
using support::PixelsAre;
using support::ReadFile;
using support::Red;
using support::Snapshot;

// A red "F" on blue, 7 x 5: asymmetric in both directions, and 7 * 3 bytes
// per row needs padding in a BMP.
std::optional<TColor> LetterF(int x, int y) {
  const bool stem = x == 1;
  const bool top = y == 0 && x >= 1 && x <= 4;
  const bool middle = y == 2 && x >= 1 && x <= 3;
  return stem || top || middle ? Red : Blue;
}

void DrawF(TBitmap& b) {
  b.SetSize(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) b.SetPixel(x, y, *LetterF(x, y));
}

std::vector<unsigned char> ReadBytes(const fs::path& path) {
  const std::string bytes = ReadFile(path);
  return {bytes.begin(), bytes.end()};
}

class ImageFileTest : public ::testing::Test {
 protected:
  void SetUp() override { DrawF(f_); }
  std::string Scratch(const std::string& name) const { return (scratch_ / name).string(); }
  support::ScratchFolder scratch_;
  TBitmap f_;
};

TEST_F(ImageFileTest, BmpRoundTripKeepsEveryPixelAndBmp8UsesAPaletteOfTheColours) {
  for (const auto save : {SaveBmp24File, SaveBmp8File}) {
    const std::string path = Scratch("f.bmp");
    save(f_, path);
    TBitmap loaded;
    LoadBmpFile(loaded, path);
    ASSERT_EQ(loaded.width(), 7);
    ASSERT_EQ(loaded.height(), 5);
    EXPECT_TRUE(PixelsAre(loaded, Snapshot(loaded), LetterF));
  }
  const auto d = ReadBytes(Scratch("f.bmp"));  // the 8-bit one
  ASSERT_GE(d.size(), 54u);
  EXPECT_EQ(d[28], 8);
  EXPECT_EQ(d[46], 2) << "palette entries used";
}

TEST_F(ImageFileTest, PngDecodesToTheSamePixels) {
  SavePngFile(f_, Scratch("f.png"));
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, Scratch("f.png").c_str()), 0) << image.message;
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

// Bytes that are not a whole BMP must raise, never crash or half-load; each
// case is a valid file cut or spoiled, or nothing like one.
TEST_F(ImageFileTest, MalformedBmpRaisesAndLeavesTheBitmapAlone) {
  SaveBmp24File(f_, Scratch("valid.bmp"));
  const auto valid = ReadBytes(Scratch("valid.bmp"));
  auto hugeWidth = valid;
  hugeWidth[18] = hugeWidth[19] = hugeWidth[20] = 0xFF;
  hugeWidth[21] = 0x7F;
  const std::vector<std::vector<unsigned char>> cases = {
      {}, {'B', 'M'}, std::vector<unsigned char>(100, 0x5A),
      {valid.begin(), valid.begin() + 54}, {valid.begin(), valid.begin() + 114}, hugeWidth};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    TBitmap b;
    DrawF(b);
    const std::string message = MessageOf([&] { LoadBmp(b, std::as_bytes(std::span<const unsigned char>(cases[i]))); });
    EXPECT_TRUE(message != "(nothing raised)" && !message.empty() && message.find('\n') == std::string::npos)
        << "case " << i << ": " << message;
    EXPECT_TRUE(PixelsAre(b, Snapshot(b), LetterF)) << "case " << i;
  }
  const std::string missing = MessageOf([&] { LoadBmpFile(f_, "/nonexistent/picture.bmp"); });
  EXPECT_NE(missing.find("/nonexistent/picture.bmp"), std::string::npos) << missing;
}

// Every writer reports a failed write: a missing folder, a full disk and a
// bitmap with nothing in it; and an 8-bit file cannot hold more colours than
// its palette.  A file size limit of one byte fails a write as a full disk
// does, and these small files fit stdio's buffer, so only Commit's flush can
// notice.
TEST_F(ImageFileTest, EveryWriterReportsAFailedWrite) {
  const std::pair<const char*, void (*)(const TBitmap&, const std::string&)> writers[] = {
      {"Bmp24", SaveBmp24File}, {"Bmp8", SaveBmp8File}, {"Png", SavePngFile}, {"Ppm", SavePpmFile}};
  const TBitmap empty;
  rlimit usual{};
  getrlimit(RLIMIT_FSIZE, &usual);
  const rlimit oneByte{1, usual.rlim_max};
  std::signal(SIGXFSZ, SIG_IGN);
  for (const auto& [name, write] : writers) {
    EXPECT_THROW(write(f_, "/nonexistent/folder/out"), Exception) << name;
    setrlimit(RLIMIT_FSIZE, &oneByte);
    const std::string full = MessageOf([&] { write(f_, Scratch("full")); });
    setrlimit(RLIMIT_FSIZE, &usual);
    EXPECT_EQ(full, "cannot write '" + Scratch("full") + "': File too large") << name;
    EXPECT_THROW(write(empty, Scratch("empty")), Exception) << name;
  }
  TBitmap many;
  many.SetSize(17, 17);
  for (int i = 0; i < 17 * 17; ++i) many.SetPixel(i % 17, i / 17, static_cast<TColor>(i));
  EXPECT_THROW(SaveBmp8File(many, Scratch("many.bmp")), Exception);
  EXPECT_TRUE(fs::is_empty(scratch_.path())) << "a failed write left a file behind";
}

}  // namespace
