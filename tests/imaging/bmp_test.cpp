// The BMP decoder against files from an independent encoder, hostile headers
// and random damage; the encoders against the files the program ships.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "imaging/bmp.h"

namespace {

namespace fs = std::filesystem;
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
void Set(Bytes& b, std::size_t at, std::int64_t v, int size = 4) {
  for (int i = 0; i < size; ++i) b[at + i] = static_cast<std::byte>(v >> 8 * i);
}

// Derivations of the layouts ImageMagick does not write, from files with a
// 40- or 124-byte header.  Each keeps the pixels.
std::size_t RowSize(const Bytes& b) { return (Get(b, 18) * Get(b, 28, 2) + 31) / 32 * 4; }
Bytes Headers(const Bytes& b) { return {b.begin(), b.begin() + Get(b, 10)}; }
Bytes Finish(Bytes b) {
  Set(b, 2, std::ssize(b));
  return b;
}

Bytes TopDown(Bytes b) {
  Bytes out = Headers(b);
  for (std::size_t r = Get(b, 22); r-- > 0;) {
    out.insert(out.end(), b.begin() + Get(b, 10) + r * RowSize(b), b.begin() + Get(b, 10) + (r + 1) * RowSize(b));
  }
  Set(out, 22, -std::int64_t{Get(b, 22)});
  return Finish(out);
}

// The palette index of pixel x of stored row r of a 4- or 8-bit file.
std::uint32_t Index(const Bytes& b, std::size_t x, std::size_t r) {
  const auto byte = Get(b, Get(b, 10) + r * RowSize(b) + x * Get(b, 28, 2) / 8, 1);
  return Get(b, 28, 2) == 8 ? byte : byte >> (x % 2 == 0 ? 4 : 0) & 15;
}

Bytes Widen4To8(Bytes b) {
  Bytes out = Headers(b);
  for (std::size_t r = 0; r < Get(b, 22); ++r) {
    for (std::size_t x = 0; x < (Get(b, 18) + 3) / 4 * 4; ++x) out.push_back(std::byte(x < Get(b, 18) ? Index(b, x, r) : 0));
  }
  Set(out, 28, 8, 2);
  return Finish(out);
}

// Index-0 pixels are jumped over, which leaves them to the decoder's fill;
// the others go out as literal runs on odd rows where three or more are in
// a row, and as runs of one pixel otherwise.
Bytes Rle(Bytes b) {
  const std::uint32_t bits = Get(b, 28, 2), w = Get(b, 18), h = Get(b, 22);
  Bytes out = Headers(b);
  const auto put = [&](std::initializer_list<std::uint32_t> values) {
    for (const auto v : values) out.push_back(std::byte(v));
  };
  for (std::uint32_t r = 0; r < h; ++r) {
    for (std::uint32_t x = 0, n = 0; x < w; x += n) {
      for (n = 1; x + n < w && (Index(b, x + n, r) == 0) == (Index(b, x, r) == 0);) ++n;
      if (Index(b, x, r) == 0 && x + n < w) put({0, 2, n, 0});
      if (Index(b, x, r) == 0) continue;
      if (r % 2 == 0 || n < 3) {
        for (std::uint32_t i = 0; i < n; ++i) put({1, Index(b, x + i, r) << (8 - bits)});
        continue;
      }
      put({0, n});
      for (std::uint32_t i = 0; i < n; ++i) {
        if (bits == 4 && i % 2 == 1) out.back() |= std::byte(Index(b, x + i, r));
        else put({Index(b, x + i, r) << (8 - bits)});
      }
      if ((bits == 8 ? n : (n + 1) / 2) % 2 == 1) put({0});
    }
    put({0, r + 1 < h ? 0u : 1u});
  }
  Set(out, 30, bits == 8 ? 1 : 2);
  return Finish(out);
}

// The fields past `size` are dropped, except that a 40-byte header keeps its
// three masks right after it.
Bytes Shrink(Bytes b, std::uint32_t size) {
  const auto cut = Get(b, 14) - std::max(size, 52u);
  b.erase(b.begin() + 14 + std::max(size, 52u), b.begin() + 14 + Get(b, 14));
  Set(b, 14, size);
  Set(b, 10, Get(b, 10) - cut);
  return Finish(b);
}

// What the fixtures show (fixtures/README.md): a 13x7 "F" in several colours
// or in two, or a single red pixel.
enum Picture { kF, kF2, kRed };
std::vector<Pixel> Expected(Picture p) {
  if (p == kRed) return {0xFF0000};
  std::vector<Pixel> pixels;
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) {
      const bool stem = x == 2 && y >= 1 && y <= 5, top = y == 1 && x >= 2 && x <= 9, middle = y == 3 && x >= 2 && x <= 6;
      Pixel c = stem ? 0xFF0000 : top ? 0x00FF00 : middle ? 0xFFFFFF : x == 12 && y == 0 ? 0xFFFF00 : 0x0000FF;
      if (p == kF2) c = stem || top || middle ? 0xFF0000 : 0x0000FF;
      pixels.push_back(c);
    }
  }
  return pixels;
}
std::vector<Pixel> PixelsOf(const TBitmap& b) {
  std::vector<Pixel> pixels;
  for (int y = 0; y < b.height(); ++y) pixels.insert(pixels.end(), b.Row(y), b.Row(y) + b.width());
  return pixels;
}

struct Valid {
  const char* file;
  std::function<Bytes(Bytes)> derive;
  Picture picture = kF;
};
const auto kAsIs = [](Bytes b) { return b; };
const Valid kValid[] = {
    {"f-24.bmp", kAsIs}, {"f-32.bmp", kAsIs}, {"f-4.bmp", kAsIs}, {"f-rle8.bmp", kAsIs}, {"f-core4.bmp", kAsIs},
    {"f-core24.bmp", kAsIs}, {"f-v5-4.bmp", kAsIs}, {"f-v5-24.bmp", kAsIs}, {"f-v5-555.bmp", kAsIs},
    {"f-v5-565.bmp", kAsIs}, {"f-v5-32.bmp", kAsIs}, {"f2-1.bmp", kAsIs, kF2}, {"f2-core1.bmp", kAsIs, kF2},
    {"one-1.bmp", kAsIs, kRed}, {"f-4.bmp", Widen4To8}, {"f-4.bmp", Rle}, {"f-4.bmp", [](Bytes b) { return Rle(Widen4To8(b)); }},
    {"f-24.bmp", TopDown}, {"f-32.bmp", TopDown}, {"f-v5-565.bmp", TopDown}, {"f2-1.bmp", TopDown, kF2},
    {"f-v5-32.bmp", [](Bytes b) { return Shrink(b, 108); }}, {"f-v5-32.bmp", [](Bytes b) { return Shrink(b, 56); }},
    {"f-v5-565.bmp", [](Bytes b) { return Shrink(b, 52); }}, {"f-v5-565.bmp", [](Bytes b) { return Shrink(b, 40); }},
    {"f-v5-555.bmp", [](Bytes b) { b = Shrink(b, 40); Set(b, 30, 0); return b; }},  // 16 bits, default masks
};

TEST(BmpDecoder, EveryValidLayoutGivesThePixelsOfThePicture) {
  for (std::size_t i = 0; i < std::size(kValid); ++i) {
    TBitmap bitmap;
    ASSERT_NO_THROW(imaging::LoadBmp(bitmap, kValid[i].derive(Fixture(kValid[i].file)))) << "case " << i;
    EXPECT_EQ(PixelsOf(bitmap), Expected(kValid[i].picture)) << "case " << i << ": " << kValid[i].file;
  }
}

// Jumps up and an early end leave almost every pixel to palette index 0.
TEST(BmpDecoder, DecodesAnRle8PictureOf8192By8192FromAFewBytes) {
  Bytes b = Headers(Fixture("f-rle8.bmp"));
  Set(b, 18, 8192);
  Set(b, 22, 8192);
  for (const int v : {2, 3}) b.push_back(std::byte(v));
  for (int i = 0; i < 33; ++i) b.insert(b.end(), {std::byte{0}, std::byte{2}, std::byte{0}, std::byte(i < 32 ? 255 : 31)});
  for (const int v : {1, 4, 0, 1}) b.push_back(std::byte(v));
  TBitmap bitmap;
  imaging::LoadBmp(bitmap, b);
  const std::pair<std::pair<int, int>, Pixel> expected[] = {
      {{0, 8191}, 0x0000FF}, {{1, 8191}, 0x0000FF}, {{2, 8191}, 0xFF0000}, {{2, 0}, 0xFFFFFF}, {{3, 0}, 0xFF0000},
      {{8191, 4000}, 0xFF0000}};
  for (const auto& [at, pixel] : expected) EXPECT_EQ(bitmap.Row(at.second)[at.first], pixel) << at.first << "," << at.second;
}

struct Outcome {
  int status;
  std::string message;
};

// Loads `path` in a child whose address space is capped at 64 MB, except
// under AddressSanitizer, which cannot run so; prints what it took.
Outcome LoadInChild(const std::string& path) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {-1, "no pipe"};
  const auto start = std::chrono::steady_clock::now();
  if (fork() == 0) {
#ifndef __SANITIZE_ADDRESS__
    const rlimit cap{64 << 20, 64 << 20};
    setrlimit(RLIMIT_AS, &cap);
#endif
    alarm(30);  // a hang ends the child, not the test run
    int status = 0;
    try {
      TBitmap bitmap;
      imaging::LoadBmpFile(bitmap, path);
    } catch (const std::exception& e) {
      status = write(pipeEnds[1], e.what(), std::strlen(e.what())) > 0 ? 1 : 2;
    }
    _exit(status);
  }
  close(pipeEnds[1]);
  Outcome outcome{-1, ""};
  char buffer[512];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) outcome.message.append(buffer, n);
  close(pipeEnds[0]);
  int status = 0;
  rusage usage{};
  wait4(-1, &status, 0, &usage);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("status %d, %.3f s, peak %ld KB: %s\n", outcome.status,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss,
              outcome.message.c_str());
  return outcome;
}

class BmpFile : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_); }
  void TearDown() override { fs::remove_all(dir_); }
  const fs::path dir_ = fs::temp_directory_path() / ("rain-bmp-" + std::to_string(getpid()));
};

struct Malformed {
  const char* file;
  void (*spoil)(Bytes&);
  const char* reason;
};
const Malformed kMalformed[] = {
    {"f-24.bmp", [](Bytes& b) { b[0] = std::byte{'P'}; }, "not a BMP file"},
    {"f-24.bmp", [](Bytes& b) { b.resize(30); }, "the header is cut short"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 14, 64); }, "unsupported header size 64"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 18, 0); }, "width 0 is not positive"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 18, -13); }, "width -13 is not positive"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 22, 0); }, "height is zero"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 18, 16385); }, "size 16385x7 exceeds 16384 pixels"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 22, -16385); }, "size 13x-16385 exceeds 16384 pixels"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 22, INT32_MIN); }, "exceeds 16384 pixels"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 18, 16384), Set(b, 22, 16384); }, "needs 805306422 bytes, the file has 334"},
    {"f2-1.bmp", [](Bytes& b) { Set(b, 18, 16384), Set(b, 22, -16384); }, "needs 33554494 bytes, the file has 90"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 26, 2, 2); }, "plane count 2 is not 1"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 28, 7, 2); }, "unsupported bit depth 7"},
    {"f-core24.bmp", [](Bytes& b) { Set(b, 24, 32, 2); }, "unsupported bit depth 32"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 30, 4); }, "unsupported compression 4"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 30, 1); }, "compression 1 does not go with 24 bits"},
    {"f-rle8.bmp", [](Bytes& b) { Set(b, 22, -7); }, "top-down rows cannot be compressed"},
    {"f-v5-565.bmp", [](Bytes& b) { Set(b, 58, 0); }, "colour masks 0xF800 0x0 0x1F 0x0 are not valid for 16 bits"},
    {"f-v5-565.bmp", [](Bytes& b) { Set(b, 54, 0xFC00); }, "colour masks 0xFC00 0x7E0"},       // overlapping
    {"f-v5-565.bmp", [](Bytes& b) { Set(b, 62, 0x15); }, "colour masks 0xF800 0x7E0 0x15"},    // gaps
    {"f-v5-565.bmp", [](Bytes& b) { Set(b, 54, 0x1F0000); }, "colour masks 0x1F0000"},         // outside
    {"f-v5-32.bmp", [](Bytes& b) { Set(b, 66, 0x1FF); }, "colour masks 0xFF0000 0xFF00 0xFF 0x1FF"},
    {"f-4.bmp", [](Bytes& b) { Set(b, 46, 17); }, "a palette of 17 colours is too large for 4 bits"},
    {"f-4.bmp", [](Bytes& b) { Set(b, 10, 100); }, "a palette of 16 colours does not fit before the pixels"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 46, 0x40000000); }, "a palette of 1073741824 colours does not fit"},
    {"f-core4.bmp", [](Bytes& b) { Set(b, 10, 26); }, "the palette is empty"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 10, 20); }, "pixel offset 20 lies inside the headers"},
    {"f-24.bmp", [](Bytes& b) { Set(b, 10, 0xFFFFFFF0); }, "pixel offset 4294967280 lies past the end"},
    {"f-4.bmp", [](Bytes& b) { Set(b, 46, 3); }, "pixel index 3 lies beyond the palette of 3 colours"},
    {"f2-1.bmp", [](Bytes& b) { Set(b, 18, 16384), Set(b, 22, 8192), Set(b, 46, 1), b.resize(62 + (2048 << 13), std::byte{0xFF}); },
     "pixel index 1 lies beyond the palette of 1 colours"},  // found before 512 MB of pixels are allocated
    {"f-rle8.bmp", [](Bytes& b) { Set(b, 18, 12); }, "an RLE run leaves the image"},
    {"f-rle8.bmp", [](Bytes& b) { Set(b, 1078, 0x00FF0200); }, "an RLE jump leaves the image"},
    {"f-rle8.bmp", [](Bytes& b) { Set(b, 18, 16384), Set(b, 22, 16384), b.resize(b.size() - 2); },
     "the RLE data ends before its end mark"},
};

TEST_F(BmpFile, EveryMalformedHeaderIsRefusedByNameWithinTheMemoryCap) {
  for (std::size_t i = 0; i < std::size(kMalformed); ++i) {
    Bytes b = Fixture(kMalformed[i].file);
    kMalformed[i].spoil(b);
    const std::string path = dir_ / ("case-" + std::to_string(i) + ".bmp");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::ssize(b));
    const Outcome outcome = LoadInChild(path);
    EXPECT_EQ(outcome.status, 1) << "case " << i;
    EXPECT_EQ(outcome.message.rfind("cannot load picture " + path + ": ", 0), 0u) << outcome.message;
    EXPECT_NE(outcome.message.find(kMalformed[i].reason), std::string::npos) << "case " << i << ": " << outcome.message;
    EXPECT_EQ(outcome.message.find('\n'), std::string::npos) << outcome.message;
  }
}

TEST_F(BmpFile, RefusesAtOnceWhatIsNotARegularFile) {
  const std::string fifo = dir_ / "fifo";  // nobody writes to it
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir_.string(), std::string("/dev/zero"), fifo}) {
    EXPECT_EQ(LoadInChild(path).message, "cannot load picture " + path + ": not a regular file");
  }
  EXPECT_EQ(LoadInChild(dir_ / "missing.bmp").message,
            "cannot load picture " + (dir_ / "missing.bmp").string() + ": No such file or directory");
}

// Damage mostly to header fields, with values that sit on the limits.
TEST(BmpDecoder, SurvivesRandomDamageToValidPictures) {
  std::vector<Bytes> pictures;
  for (const Valid& v : kValid) pictures.push_back(v.derive(Fixture(v.file)));
  constexpr std::int64_t kValues[] = {0, 1, 2, 3, 12, 16384, 16385, -16384, INT32_MAX, INT32_MIN, -1};
  constexpr std::size_t kFields[] = {2, 10, 14, 18, 20, 22, 24, 26, 28, 30, 34, 46, 54, 58, 62, 66};
  std::mt19937 random(20240607);
  for (int i = 0; i < 20000; ++i) {
    Bytes b = pictures[random() % pictures.size()];
    for (std::uint32_t k = random() % 3; k < 3; ++k) {
      const std::size_t field = kFields[random() % std::size(kFields)];
      if (random() % 2 == 0 && field + 4 <= b.size()) Set(b, field, kValues[random() % std::size(kValues)]);
      else b[random() % b.size()] = std::byte(random());
    }
    TBitmap bitmap;
    try {
      imaging::LoadBmp(bitmap, b);
      EXPECT_TRUE(bitmap.width() > 0 && bitmap.width() <= 16384 && bitmap.height() > 0 && bitmap.height() <= 16384);
    } catch (const Exception& e) {
      ASSERT_TRUE(!e.Message().empty() && e.Message().find('\n') == std::string::npos) << e.Message();
    }
  }
}

TEST(BmpEncoders, WriteTheCommittedPicturesByteForByte) {
  const std::pair<fs::path, std::vector<std::byte> (*)(const TBitmap&)> files[] = {
      {fs::path(RAIN_RESOURCES_DIR) / "princess.bmp", imaging::EncodeBmp24},
      {fs::path(RAIN_RESOURCES_DIR) / "mainicon.bmp", imaging::EncodeBmp8},
      {fs::path(RAIN_FIXTURES_DIR) / "f-24.bmp", imaging::EncodeBmp24}};  // padded rows
  for (const auto& [path, encode] : files) {
    const Bytes original = Read(path);
    TBitmap bitmap;
    imaging::LoadBmp(bitmap, original);
    EXPECT_TRUE(encode(bitmap) == original) << path;
  }
  TBitmap f, back, colourful;
  imaging::LoadBmp(f, Fixture("f-24.bmp"));
  imaging::LoadBmp(back, imaging::EncodeBmp8(f));
  EXPECT_EQ(PixelsOf(back), Expected(kF));
  colourful.SetSize(257, 1);
  for (int x = 0; x < 257; ++x) colourful.SetPixel(x, 0, static_cast<TColor>(x));
  EXPECT_THROW(imaging::EncodeBmp8(colourful), Exception);
  EXPECT_THROW(imaging::EncodeBmp24(TBitmap()), Exception);
}

}  // namespace
