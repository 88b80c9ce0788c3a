// The BMP decoder against files from an independent encoder, hostile headers
// and random damage; the encoders against the files the program ships.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "imaging/bmp.h"

namespace {

namespace fs = std::filesystem;
using drawing::Pixel;
using Bytes = std::vector<std::byte>;

Bytes Read(const fs::path& path) {
  Bytes bytes(fs::file_size(path));
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), std::ssize(bytes));
  return bytes;
}
Bytes Fixture(const std::string& name) { return Read(fs::path(RAIN_FIXTURES_DIR) / name); }
std::uint32_t Get(const Bytes& b, std::size_t at, int size = 4) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | std::to_integer<std::uint32_t>(b[at + i]);
  return v;
}
Bytes Set(Bytes b, std::size_t at, std::int64_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::byte>(v >> 8 * i);
  return b;
}

// Layouts ImageMagick does not write, derived from its files (40- or
// 124-byte headers); each keeps the pixels.
Bytes Headers(const Bytes& b) { return {b.begin(), b.begin() + Get(b, 10)}; }
Bytes Sized(const Bytes& b) { return Set(b, 2, std::ssize(b)); }
std::size_t RowSize(const Bytes& b) { return (Get(b, 18) * Get(b, 28, 2) + 31) / 32 * 4; }
auto Row(const Bytes& b, std::size_t r) { return b.begin() + Get(b, 10) + r * RowSize(b); }

Bytes TopDown(const Bytes& b) {
  Bytes out = Headers(b);
  for (std::size_t r = Get(b, 22); r-- > 0;) out.insert(out.end(), Row(b, r), Row(b, r) + RowSize(b));
  return Sized(Set(out, 22, -std::int64_t{Get(b, 22)}));
}

// Even rows as one literal run, odd rows as runs of two alternating pixels.
Bytes Rle4(const Bytes& b) {
  const std::uint32_t w = Get(b, 18), h = Get(b, 22);
  Bytes out = Headers(b);
  for (std::uint32_t r = 0; r < h; ++r) {
    if (r % 2 == 0) out.insert(out.end(), {std::byte{0}, std::byte(w)});
    if (r % 2 == 0) out.insert(out.end(), Row(b, r), Row(b, r) + (w + 3) / 4 * 2);
    for (std::uint32_t x = 0; r % 2 == 1 && x < w; x += 2)
      out.insert(out.end(), {std::byte(std::min(2u, w - x)), Row(b, r)[x / 2]});
    out.insert(out.end(), {std::byte{0}, std::byte(r + 1 < h ? 0 : 1)});
  }
  return Sized(Set(out, 30, 2));
}

Bytes Unchanged(const Bytes& b) { return b; }

// The fields past `size` dropped; a 40-byte header keeps its masks after it.
Bytes Shrink(Bytes b, std::uint32_t size) {
  const std::uint32_t keep = std::max(size, 52u), cut = Get(b, 14) - keep;
  b.erase(b.begin() + 14 + keep, b.begin() + 14 + Get(b, 14));
  return Sized(Set(Set(b, 14, size), 10, Get(b, 10) - cut));
}

// Width and pixels, which also fix the height.
std::pair<int, std::vector<Pixel>> Picture(const TBitmap& b) {
  std::vector<Pixel> pixels;
  for (int y = 0; y < b.height(); ++y) pixels.insert(pixels.end(), b.Row(y), b.Row(y) + b.width());
  return {b.width(), pixels};
}
std::pair<int, std::vector<Pixel>> Decoded(const Bytes& bytes) {
  TBitmap bitmap;
  imaging::LoadBmp(bitmap, bytes);
  return Picture(bitmap);
}

const struct {
  const char* file;
  std::function<Bytes(const Bytes&)> derive = Unchanged;
  const char* reference = "f-24.bmp";
} kValid[] = {
    {"f-32.bmp"}, {"f-8.bmp"}, {"f-4.bmp"}, {"f-rle8.bmp"}, {"f-core4.bmp"}, {"f-core24.bmp"}, {"f-v5-4.bmp"},
    {"f-v5-24.bmp"}, {"f-v5-555.bmp"}, {"f-v5-565.bmp"}, {"f-v5-32.bmp"}, {"f-4.bmp", Rle4}, {"f-24.bmp", TopDown},
    {"f-32.bmp", TopDown}, {"f-v5-565.bmp", TopDown}, {"f2-1.bmp", TopDown, "f2-24.bmp"},
    {"f2-1.bmp", Unchanged, "f2-24.bmp"}, {"f2-core1.bmp", Unchanged, "f2-24.bmp"},
    {"one-1.bmp", Unchanged, "one-24.bmp"},
    {"f-v5-32.bmp", [](const Bytes& b) { return Shrink(b, 108); }},
    {"f-v5-32.bmp", [](const Bytes& b) { return Shrink(b, 56); }},
    {"f-v5-565.bmp", [](const Bytes& b) { return Shrink(b, 52); }},
    {"f-v5-565.bmp", [](const Bytes& b) { return Shrink(b, 40); }},
    {"f-v5-555.bmp", [](const Bytes& b) { return Set(Shrink(b, 40), 30, 0); }},  // 16 bits, no masks
};

TEST(BmpDecoder, EveryValidLayoutGivesThePixelsOfThe24BitReference) {
  const auto [width, f] = Decoded(Fixture("f-24.bmp"));  // yellow top right, red at (2, 1), blue at the bottom left
  ASSERT_EQ((std::vector<Pixel>{f[12], f[13 + 2], f[13 * 6]}), (std::vector<Pixel>{0xFFFF00, 0xFF0000, 0x0000FF}));
  for (const auto& layout : kValid) {
    EXPECT_EQ(Decoded(layout.derive(Fixture(layout.file))), Decoded(Fixture(layout.reference))) << layout.file;
  }
}

// Two pixels at the bottom left, jumps to the top row, one pixel, the end:
// every other pixel takes palette index 0 (red; 3 is blue, 4 white).
TEST(BmpDecoder, DecodesAnRle8PictureOf8192By8192FromAFewBytes) {
  Bytes b = Set(Set(Headers(Fixture("f-rle8.bmp")), 18, 8192), 22, 8192);
  b.insert(b.end(), {std::byte{2}, std::byte{3}});
  for (int i = 0; i <= 32; ++i)
    b.insert(b.end(), {std::byte{0}, std::byte{2}, std::byte{0}, std::byte(i < 32 ? 255 : 31)});
  b.insert(b.end(), {std::byte{1}, std::byte{4}, std::byte{0}, std::byte{1}});
  TBitmap m;
  imaging::LoadBmp(m, b);
  EXPECT_EQ(
      (std::vector<Pixel>{m.Row(8191)[0], m.Row(8191)[1], m.Row(8191)[2], m.Row(0)[2], m.Row(0)[3], m.Row(4000)[8191]}),
      (std::vector<Pixel>{0x0000FF, 0x0000FF, 0xFF0000, 0xFFFFFF, 0xFF0000, 0xFF0000}));
}

// Run as a death test: loads `path` with the address space capped at 64 MB
// (AddressSanitizer cannot run so) and exits 1 with the message on a refusal.
[[noreturn]] void LoadCapped(const std::string& path) {
#ifndef __SANITIZE_ADDRESS__
  const rlimit cap{64 << 20, 64 << 20};
  setrlimit(RLIMIT_AS, &cap);
#endif
  alarm(30);  // a hang ends the child, not the test run
  try {
    TBitmap bitmap;
    imaging::LoadBmpFile(bitmap, path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    _exit(1);
  }
  _exit(0);
}

class BmpFileDeathTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  const fs::path dir_ = fs::temp_directory_path() / ("rain-bmp-" + std::to_string(getpid()));
};

// Each patch writes a 32-bit value; where that spills into the next field,
// the field named first is the one refused.
const struct {
  const char* file;
  std::vector<std::pair<std::size_t, std::int64_t>> patches;
  const char* reason;
  std::size_t newSize = 0;
} kMalformed[] = {
    {"f-24.bmp", {{0, 'P'}}, "not a BMP file"},
    {"f-24.bmp", {}, "the header is cut short", 30},
    {"f-24.bmp", {{14, 64}}, "unsupported header size 64"},
    {"f-24.bmp", {{18, 0}}, "width 0 is not positive"},
    {"f-24.bmp", {{22, 0}}, "height is zero"},
    {"f-24.bmp", {{18, 16385}}, "size 16385x7 exceeds 16384 pixels"},
    {"f-24.bmp", {{22, INT32_MIN}}, "size 13x-2147483648 exceeds 16384 pixels"},
    {"f-24.bmp", {{18, 16384}, {22, 16384}}, "24-bit pixels needs 805306422 bytes, the file has 334"},
    {"f-24.bmp", {{26, 2}}, "plane count 2 is not 1"},
    {"f-24.bmp", {{28, 7}}, "unsupported bit depth 7"},
    {"f-core24.bmp", {{24, 32}}, "unsupported bit depth 32"},
    {"f-24.bmp", {{30, 4}}, "unsupported compression 4"},
    {"f-24.bmp", {{30, 1}}, "compression 1 does not go with 24 bits"},
    {"f-rle8.bmp", {{22, -7}}, "top-down rows cannot be compressed"},
    {"f-v5-565.bmp", {{58, 0}}, "colour masks 0xF800 0x0 0x1F 0x0 are not valid for 16 bits"},  // zero
    {"f-v5-565.bmp", {{54, 0xFC00}}, "colour masks 0xFC00 0x7E0 0x1F 0x0"},      // overlapping
    {"f-v5-565.bmp", {{62, 0x15}}, "colour masks 0xF800 0x7E0 0x15 0x0"},        // not contiguous
    {"f-v5-565.bmp", {{54, 0x1F0000}}, "colour masks 0x1F0000 0x7E0 0x1F 0x0"},  // beyond 16 bits
    {"f-4.bmp", {{46, 17}}, "a palette of 17 colours is too large for 4 bits"},
    {"f-4.bmp", {{10, 100}}, "a palette of 16 colours does not fit before the pixels"},
    {"f-core4.bmp", {{10, 26}}, "the palette is empty"},
    {"f-24.bmp", {{10, 20}}, "pixel offset 20 lies inside the headers"},
    {"f-24.bmp", {{10, 0xFFFFFFF0}}, "pixel offset 4294967280 lies past the end"},
    // Found before 512 MB of pixels are allocated.
    {"f2-1.bmp", {{18, 16384}, {22, 8192}, {46, 1}, {62, 0xFF}}, "pixel index 1 lies beyond", 62 + (2048 << 13)},
    {"f-rle8.bmp", {{18, 12}}, "an RLE run leaves the image"},
    {"f-rle8.bmp", {{1078, 0x00FF0200}}, "an RLE jump leaves the image"},
    {"f-rle8.bmp", {{18, 16384}, {22, 16384}}, "the RLE data ends before its end mark", 1146},
};

TEST_F(BmpFileDeathTest, RefusesEveryMalformedHeaderAndEveryNonRegularFileByNameWithinTheMemoryCap) {
  const std::string path = dir_ / "spoilt.bmp", fifo = dir_ / "fifo";  // nobody writes to the FIFO
  for (const auto& spoilt : kMalformed) {
    Bytes b = Fixture(spoilt.file);
    if (spoilt.newSize != 0) b.resize(spoilt.newSize);
    for (const auto& [at, value] : spoilt.patches) b = Set(b, at, value);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::ssize(b));
    EXPECT_EXIT(LoadCapped(path), ::testing::ExitedWithCode(1), "^cannot load picture " + path + ": .*" + spoilt.reason)
        << spoilt.reason;
  }
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& other : {dir_.string(), std::string("/dev/zero"), fifo}) {
    EXPECT_EXIT(LoadCapped(other), ::testing::ExitedWithCode(1),
                "^cannot load picture " + other + ": not a regular file\n$");
  }
}

// Damage mostly to the header fields, with values that sit on the limits.
TEST(BmpDecoder, SurvivesRandomDamageToValidPictures) {
  std::vector<Bytes> pictures;
  for (const auto& layout : kValid) pictures.push_back(layout.derive(Fixture(layout.file)));
  constexpr std::int64_t kValues[] = {0, 1, 2, 3, 12, 16384, 16385, -16384, INT32_MAX, INT32_MIN, -1};
  std::mt19937 random(20240607);
  for (int i = 0; i < 20000; ++i) {
    Bytes b = pictures[random() % pictures.size()];
    for (std::uint32_t k = random() % 3, at; k < 3; ++k) {
      if (at = 2 * (random() % 35); random() % 2 == 0 && at + 4 <= b.size()) b = Set(b, at, kValues[random() % 11]);
      else b[random() % b.size()] = std::byte(random());
    }
    TBitmap m;
    try {
      imaging::LoadBmp(m, b);
      EXPECT_TRUE(m.width() > 0 && m.width() <= 16384 && m.height() > 0 && m.height() <= 16384);
    } catch (const Exception& e) {
      ASSERT_TRUE(!e.Message().empty() && e.Message().find('\n') == std::string::npos) << e.Message();
    }
  }
}

// f-24.bmp, from another encoder, has padded rows.
TEST(BmpEncoders, WriteTheCommittedPicturesByteForByte) {
  const std::pair<fs::path, std::vector<std::byte> (*)(const TBitmap&)> files[] = {
      {fs::path(RAIN_RESOURCES_DIR) / "princess.bmp", imaging::EncodeBmp24},
      {fs::path(RAIN_RESOURCES_DIR) / "mainicon.bmp", imaging::EncodeBmp8},
      {fs::path(RAIN_FIXTURES_DIR) / "f-24.bmp", imaging::EncodeBmp24}};
  for (const auto& [path, encode] : files) {
    TBitmap bitmap;
    imaging::LoadBmp(bitmap, Read(path));
    EXPECT_TRUE(encode(bitmap) == Read(path)) << path;
    EXPECT_EQ(Decoded(imaging::EncodeBmp8(bitmap)), Picture(bitmap)) << path;
  }
  TBitmap many;
  many.SetSize(257, 1);
  for (int x = 0; x < 257; ++x) many.SetPixel(x, 0, static_cast<TColor>(x));
  EXPECT_THROW(imaging::EncodeBmp8(many), Exception);
}

}  // namespace
