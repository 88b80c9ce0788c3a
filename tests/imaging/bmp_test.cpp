// The BMP decoder against files from an independent encoder, hostile headers
// and random damage.  The encoders are checked where their files are used:
// image_files_test.cpp and the committed picture and icon.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <random>

#include "imaging/bmp.h"
#include "tests/support/scratch_folder.h"

namespace {

using drawing::Pixel;
using Bytes = std::string;  // a file's bytes

Bytes Fixture(const std::string& name) { return support::ReadFile(std::filesystem::path(RAIN_FIXTURES_DIR) / name); }
std::uint32_t Get(const Bytes& b, std::size_t at, int size = 4) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}
Bytes Set(Bytes b, std::size_t at, std::int64_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>(v >> 8 * i);
  return b;
}

// Layouts ImageMagick does not write, derived from its files (40- or
// 124-byte headers); each keeps the pixels.
Bytes Headers(const Bytes& b) { return b.substr(0, Get(b, 10)); }
Bytes Sized(const Bytes& b) { return Set(b, 2, std::ssize(b)); }
Bytes Row(const Bytes& b, std::size_t r) {
  const std::size_t size = (Get(b, 18) * Get(b, 28, 2) + 31) / 32 * 4;
  return b.substr(Get(b, 10) + r * size, size);
}

Bytes TopDown(const Bytes& b) {
  Bytes out = Headers(b);
  for (std::size_t r = Get(b, 22); r-- > 0;) out += Row(b, r);
  return Sized(Set(out, 22, -std::int64_t{Get(b, 22)}));
}

// Even rows as one literal run, odd rows as runs of two alternating pixels.
Bytes Rle4(const Bytes& b) {
  const std::uint32_t w = Get(b, 18), h = Get(b, 22);
  Bytes out = Headers(b);
  for (std::uint32_t r = 0; r < h; ++r) {
    if (r % 2 == 0) out += Bytes{'\0', char(w)} + Row(b, r).substr(0, (w + 3) / 4 * 2);
    for (std::uint32_t x = 0; r % 2 == 1 && x < w; x += 2) out += Bytes{char(std::min(2u, w - x)), Row(b, r)[x / 2]};
    out += Bytes{'\0', char(r + 1 < h ? 0 : 1)};
  }
  return Sized(Set(out, 30, 2));
}

// The header's fields past `size` dropped; a 40-byte header keeps its masks
// after it.
template <std::uint32_t size>
Bytes Shrunk(const Bytes& b) {
  const std::uint32_t keep = std::max(size, 52u), cut = Get(b, 14) - keep;
  return Sized(Set(Set(Bytes(b).erase(14 + keep, cut), 14, size), 10, Get(b, 10) - cut));
}
Bytes NoMasks(const Bytes& b) { return Set(Shrunk<40>(b), 30, 0); }  // 16 bits, plain

// Width and pixels, which also fix the height.
std::pair<int, std::vector<Pixel>> Decoded(const Bytes& bytes) {
  TBitmap b;
  imaging::LoadBmp(b, std::as_bytes(std::span(bytes)));
  std::vector<Pixel> pixels;
  for (int y = 0; y < b.height(); ++y) pixels.insert(pixels.end(), b.Row(y), b.Row(y) + b.width());
  return {b.width(), pixels};
}

const struct {
  const char* file;
  Bytes (*derive)(const Bytes&) = nullptr;  // none: the file as it is
  const char* reference = "f-24.bmp";
  Bytes Read() const { return derive != nullptr ? derive(Fixture(file)) : Fixture(file); }
} kValid[] = {
    {"f-32.bmp"}, {"f-8.bmp"}, {"f-4.bmp"}, {"f-rle8.bmp"}, {"f-core4.bmp"}, {"f-core24.bmp"}, {"f-v5-4.bmp"},
    {"f-v5-24.bmp"}, {"f-v5-555.bmp"}, {"f-v5-565.bmp"}, {"f-v5-32.bmp"}, {"f-4.bmp", Rle4}, {"f-24.bmp", TopDown},
    {"f-32.bmp", TopDown}, {"f-v5-565.bmp", TopDown}, {"f2-1.bmp", TopDown, "f2-24.bmp"},
    {"f2-1.bmp", nullptr, "f2-24.bmp"}, {"f2-core1.bmp", nullptr, "f2-24.bmp"}, {"one-1.bmp", nullptr, "one-24.bmp"},
    {"f-v5-32.bmp", Shrunk<108>}, {"f-v5-32.bmp", Shrunk<56>}, {"f-v5-565.bmp", Shrunk<52>},
    {"f-v5-565.bmp", Shrunk<40>}, {"f-v5-555.bmp", NoMasks},
};

TEST(BmpDecoder, EveryValidLayoutGivesThePixelsOfThe24BitReference) {
  const auto [width, f] = Decoded(Fixture("f-24.bmp"));  // yellow top right, red at (2, 1), blue at the bottom left
  ASSERT_EQ((std::vector<Pixel>{f[12], f[13 + 2], f[13 * 6]}), (std::vector<Pixel>{0xFFFF00, 0xFF0000, 0x0000FF}));
  for (const auto& layout : kValid) {
    EXPECT_EQ(Decoded(layout.Read()), Decoded(Fixture(layout.reference))) << layout.file;
  }
}

// Two pixels at the bottom left, jumps to the top row, one pixel, the end:
// every other pixel takes palette index 0 (red; 3 is blue, 4 white).
TEST(BmpDecoder, DecodesAnRle8PictureOf8192By8192FromAFewBytes) {
  Bytes b = Set(Set(Headers(Fixture("f-rle8.bmp")), 18, 8192), 22, 8192) + Bytes{2, 3};
  for (int i = 0; i <= 32; ++i) b += Bytes{0, 2, 0, char(i < 32 ? 255 : 31)};
  const auto [width, p] = Decoded(b + Bytes{1, 4, 0, 1});
  const auto at = [&p](std::size_t x, std::size_t y) { return p[y * 8192 + x]; };
  EXPECT_EQ((std::vector<Pixel>{at(0, 8191), at(1, 8191), at(2, 8191), at(2, 0), at(3, 0), at(8191, 4000)}),
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

// Each patch writes a 32-bit value; where that spills into the next field,
// the field named first is the one refused.
const struct {
  const char* file;
  std::vector<std::pair<std::size_t, std::int64_t>> patches;
  const char* reason;
  std::size_t newSize = 0;
} kMalformed[] = {
    {"f-24.bmp", {{0, 'P'}}, "not a BMP file"}, {"f-24.bmp", {}, "the header is cut short", 30},
    {"f-24.bmp", {{14, 64}}, "unsupported header size 64"},
    {"f-24.bmp", {{18, 0}}, "width 0 is not positive"}, {"f-24.bmp", {{22, 0}}, "height is zero"},
    {"f-24.bmp", {{18, 16385}}, "size 16385x7 exceeds 16384 pixels"},
    {"f-24.bmp", {{22, INT32_MIN}}, "size 13x-2147483648 exceeds 16384 pixels"},
    {"f-24.bmp", {{18, 16384}, {22, 16384}}, "24-bit pixels needs 805306422 bytes, the file has 334"},
    {"f-24.bmp", {{26, 2}}, "plane count 2 is not 1"}, {"f-24.bmp", {{28, 7}}, "unsupported bit depth 7"},
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

TEST(BmpFileDeathTest, RefusesEveryMalformedHeaderAndEveryNonRegularFileByNameWithinTheMemoryCap) {
  const support::ScratchFolder dir;
  const std::string path = dir / "spoilt.bmp", fifo = dir / "fifo";  // nobody writes to the FIFO
  for (const auto& spoilt : kMalformed) {
    Bytes b = Fixture(spoilt.file);
    if (spoilt.newSize != 0) b.resize(spoilt.newSize);
    for (const auto& [at, value] : spoilt.patches) b = Set(b, at, value);
    std::ofstream(path, std::ios::binary) << b;
    EXPECT_EXIT(LoadCapped(path), ::testing::ExitedWithCode(1),
                "^cannot load picture '" + path + "': .*" + spoilt.reason)
        << spoilt.reason;
  }
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& other : {dir.path().string(), std::string("/dev/zero"), fifo}) {
    EXPECT_EXIT(LoadCapped(other), ::testing::ExitedWithCode(1),
                "^cannot load picture '" + other + "': not a regular file\n$");
  }
}

// Damage mostly to the header fields, with values that sit on the limits.
TEST(BmpDecoder, SurvivesRandomDamageToValidPictures) {
  std::vector<Bytes> pictures;
  for (const auto& layout : kValid) pictures.push_back(layout.Read());
  constexpr std::int64_t kValues[] = {0, 1, 2, 3, 12, 16384, 16385, -16384, INT32_MAX, INT32_MIN, -1};
  std::mt19937 random(20240607);
  for (int i = 0; i < 20000; ++i) {
    Bytes b = pictures[random() % pictures.size()];
    for (std::uint32_t k = random() % 3, at; k < 3; ++k) {
      if (at = 2 * (random() % 35); random() % 2 == 0 && at + 4 <= b.size()) b = Set(b, at, kValues[random() % 11]);
      else b[random() % b.size()] = static_cast<char>(random());
    }
    TBitmap m;
    try {
      imaging::LoadBmp(m, std::as_bytes(std::span(b)));
      EXPECT_TRUE(m.width() > 0 && m.width() <= 16384 && m.height() > 0 && m.height() <= 16384);
    } catch (const Exception& e) {
      ASSERT_TRUE(!e.Message().empty() && e.Message().find('\n') == std::string::npos) << e.Message();
    }
  }
}

}  // namespace
