// A strict BMP decoder and two small encoders.
//
// Decoding is two steps.  ParseHeader reads and checks every header field,
// the colour masks and the palette, and works out how many bytes of the file
// the layout needs; it allocates nothing in proportion to what the header
// claims.  Only then do the row decoders (uncompressed) or the RLE walker
// fill the pixels, straight into the vector the bitmap takes over.

#include "imaging/bmp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

using drawing::Pixel;

namespace imaging {
namespace {

constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::int64_t kMaxSide = 16384;
// The largest header plus the largest palette: all ParseHeader ever reads.
constexpr std::size_t kMaxHeadSize = kFileHeaderSize + 124 + 256 * 4;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

[[noreturn]] void Refuse(const std::string& reason) { throw Exception(reason); }

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// A little-endian field of `size` bytes; the caller has checked it is there.
std::uint32_t Le(const std::byte* at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | std::to_integer<std::uint32_t>(at[i]);
  return value;
}

// One colour channel of a 16-, 24- or 32-bit pixel: where it sits and how
// its values scale to eight bits (rounded, so 5 bits of 31 give 255).
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  std::array<std::uint8_t, 256> scale{};  // for channels of up to 8 bits

  explicit Channel(std::uint32_t m = 0xFF) : mask(m), shift(std::countr_zero(m)), bits(std::popcount(m)) {
    if (bits > 8) return;
    const std::uint32_t max = (1u << bits) - 1;
    for (std::uint32_t v = 0; v <= max; ++v) scale[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
  }

  Pixel operator()(std::uint32_t pixel) const {
    const std::uint32_t v = (pixel & mask) >> shift;
    if (bits <= 8) return scale[v];
    const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
    return static_cast<Pixel>((v * std::uint64_t{255} + max / 2) / max);
  }
};

// A mask a valid file can hold: one run of set bits inside the pixel.
bool IsValidMask(std::uint32_t mask, int bitsPerPixel) {
  if (mask == 0 || (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0)) return false;
  const std::uint32_t run = mask >> std::countr_zero(mask);
  return (run & (run + 1)) == 0;
}

// Everything the decoders need, checked against the file's size.
struct Layout {
  std::uint32_t headerSize = 0;
  std::uint64_t headersEnd = 0;  // past the header and the masks that may follow it
  int width = 0;
  int height = 0;  // rows, whichever way they are stored
  bool topDown = false;
  int bitsPerPixel = 0;
  std::uint32_t compression = kRgb;
  std::vector<Pixel> palette;       // indexed layouts only, at least one entry
  std::array<Channel, 3> channels;  // red, green, blue of 16-, 24- and 32-bit pixels
  std::uint64_t pixelOffset = 0;
  std::uint64_t rowSize = 0;      // bytes per stored row, uncompressed only
  std::uint64_t bytesNeeded = 0;  // how much of the file the decoders read

  bool core() const { return headerSize == 12; }
  bool rle() const { return compression == kRle8 || compression == kRle4; }
};

// The start of a file, whose every read is checked against its end.
class Head {
 public:
  explicit Head(std::span<const std::byte> bytes) : bytes_(bytes) {}
  void Require(std::uint64_t size) const {
    if (bytes_.size() < size) Refuse("the header is cut short");
  }
  std::uint32_t Field(std::size_t at, int size) const {
    Require(at + size);
    return Le(bytes_.data() + at, size);
  }
  std::uint32_t U16(std::size_t at) const { return Field(at, 2); }
  std::uint32_t U32(std::size_t at) const { return Field(at, 4); }

 private:
  std::span<const std::byte> bytes_;
};

bool DepthExists(std::uint32_t bits, bool core) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 24 || (!core && (bits == 16 || bits == 32));
}

bool DepthFits(std::uint32_t compression, std::uint32_t bits) {
  if (compression == kRle8) return bits == 8;
  if (compression == kRle4) return bits == 4;
  return compression == kRgb || bits == 16 || bits == 32;  // bitfields
}

// The fields every header has: size, depth, compression and pixel offset.
Layout ReadHeader(const Head& head, std::uint64_t fileSize) {
  if (head.U16(0) != 0x4D42) Refuse("not a BMP file");  // "BM"
  Layout l;
  l.headerSize = head.U32(14);
  const bool core = l.core();
  if (!core && l.headerSize != 40 && l.headerSize != 52 && l.headerSize != 56 && l.headerSize != 108 &&
      l.headerSize != 124) {
    Refuse("unsupported header size " + std::to_string(l.headerSize));
  }
  const std::int64_t width = core ? std::int64_t{head.U16(18)} : std::int32_t(head.U32(18));
  const std::int64_t height = core ? std::int64_t{head.U16(20)} : std::int32_t(head.U32(22));
  const std::uint32_t planes = head.U16(core ? 22 : 26);
  const std::uint32_t bits = head.U16(core ? 24 : 28);
  l.compression = core ? kRgb : head.U32(30);
  if (width <= 0) Refuse("width " + std::to_string(width) + " is not positive");
  if (height == 0) Refuse("height is zero");
  if (width > kMaxSide || height > kMaxSide || height < -kMaxSide) {
    Refuse("size " + std::to_string(width) + "x" + std::to_string(height) + " exceeds 16384 pixels");
  }
  if (planes != 1) Refuse("plane count " + std::to_string(planes) + " is not 1");
  if (l.compression > kBitfields) Refuse("unsupported compression " + std::to_string(l.compression));
  if (!DepthExists(bits, core)) Refuse("unsupported bit depth " + std::to_string(bits));
  if (!DepthFits(l.compression, bits)) {
    Refuse("compression " + std::to_string(l.compression) + " does not go with " + std::to_string(bits) + " bits");
  }
  l.width = static_cast<int>(width);
  l.height = static_cast<int>(height < 0 ? -height : height);
  l.topDown = height < 0;
  l.bitsPerPixel = static_cast<int>(bits);
  if (l.topDown && l.rle()) Refuse("top-down rows cannot be compressed");

  // A 40-byte header is followed by its three masks when it has them.
  l.headersEnd = kFileHeaderSize + l.headerSize + (l.headerSize == 40 && l.compression == kBitfields ? 12 : 0);
  head.Require(l.headersEnd);
  l.pixelOffset = head.U32(10);
  const std::string offset = "pixel offset " + std::to_string(l.pixelOffset);
  if (l.pixelOffset < l.headersEnd) Refuse(offset + " lies inside the headers");
  if (l.pixelOffset >= fileSize) Refuse(offset + " lies past the end of the file");
  return l;
}

// The fixed masks, unless the file gives its own, which must be valid: from
// 52 bytes on they are part of the header, and from 56 on with alpha.
void ReadMasks(Layout& l, const Head& head) {
  std::array<std::uint32_t, 4> m = l.bitsPerPixel == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                                        : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
  if (l.compression == kBitfields) {
    for (std::size_t i = 0; i < (l.headerSize >= 56 ? 4u : 3u); ++i) m[i] = head.U32(54 + 4 * i);
    const auto valid = [&](std::uint32_t mask) { return IsValidMask(mask, l.bitsPerPixel); };
    const bool disjoint = std::popcount(m[0] | m[1] | m[2] | m[3]) ==
                          std::popcount(m[0]) + std::popcount(m[1]) + std::popcount(m[2]) + std::popcount(m[3]);
    if (!valid(m[0]) || !valid(m[1]) || !valid(m[2]) || (m[3] != 0 && !valid(m[3])) || !disjoint) {
      Refuse("colour masks " + Hex(m[0]) + " " + Hex(m[1]) + " " + Hex(m[2]) + " " + Hex(m[3]) + " are not valid for " +
             std::to_string(l.bitsPerPixel) + " bits");
    }
  }
  for (int i = 0; i < 3; ++i) l.channels[i] = Channel(m[i]);
}

// A 12-byte header has no colour count: its palette is whatever lies before
// the pixels, up to a full one.  Deeper pixels may carry a palette too; it
// is never read, but it must still fit before the pixels.
void ReadPalette(Layout& l, const Head& head) {
  const std::uint64_t entrySize = l.core() ? 3 : 4;
  const std::uint64_t full = l.bitsPerPixel <= 8 ? std::uint64_t{1} << l.bitsPerPixel : 0;
  const std::uint64_t declared = l.core() ? 0 : head.U32(46);
  const std::uint64_t colours = l.core()        ? std::min(full, (l.pixelOffset - l.headersEnd) / 3)
                                : declared != 0 ? declared
                                                : full;
  if (l.bitsPerPixel <= 8 && colours > full) {
    Refuse("a palette of " + std::to_string(colours) + " colours is too large for " + std::to_string(l.bitsPerPixel) +
           " bits");
  }
  if (l.headersEnd + colours * entrySize > l.pixelOffset) {
    Refuse("a palette of " + std::to_string(colours) + " colours does not fit before the pixels");
  }
  if (l.bitsPerPixel > 8) return;
  if (colours == 0) Refuse("the palette is empty");
  for (std::uint64_t i = 0; i < colours; ++i) {
    l.palette.push_back(head.Field(l.headersEnd + i * entrySize, 3));  // blue, green, red: 0x00RRGGBB
  }
}

// How much of the file the decoders read.  Uncompressed rows must all be
// there.  No sensible RLE stream spends more than 4 bytes on a pixel (a
// one-pixel jump) or on ending a row, so bytes past that are never read.
void MeasureData(Layout& l, std::uint64_t fileSize) {
  const std::uint64_t rows = l.height;
  if (l.rle()) {
    l.bytesNeeded = std::min(fileSize, l.pixelOffset + 4 * (static_cast<std::uint64_t>(l.width) + 1) * rows + 2);
    return;
  }
  l.rowSize = (static_cast<std::uint64_t>(l.width) * l.bitsPerPixel + 31) / 32 * 4;
  l.bytesNeeded = l.pixelOffset + l.rowSize * rows;
  if (l.bytesNeeded > fileSize) {
    Refuse("a " + std::to_string(l.width) + "x" + std::to_string(l.height) + " picture of " +
           std::to_string(l.bitsPerPixel) + "-bit pixels needs " + std::to_string(l.bytesNeeded) +
           " bytes, the file has " + std::to_string(fileSize));
  }
}

// `bytes` is the start of a file of `fileSize` bytes: all of it, or at least
// kMaxHeadSize bytes.
Layout ParseHeader(std::span<const std::byte> bytes, std::uint64_t fileSize) {
  const Head head(bytes);
  Layout l = ReadHeader(head, fileSize);
  if (l.bitsPerPixel >= 16) ReadMasks(l, head);
  ReadPalette(l, head);
  MeasureData(l, fileSize);
  return l;
}

Pixel Lookup(const Layout& l, std::uint32_t index) {
  if (index >= l.palette.size()) {
    Refuse("pixel index " + std::to_string(index) + " lies beyond the palette of " + std::to_string(l.palette.size()) +
           " colours");
  }
  return l.palette[index];
}

// One stored row of an uncompressed layout into `out` (width pixels).  The
// row lies inside the data: ParseHeader checked the file holds every row.
void DecodeRow(const Layout& l, const std::byte* row, Pixel* out) {
  const int bits = l.bitsPerPixel;
  if (bits <= 8) {
    const int perByte = 8 / bits;
    const std::uint32_t mask = (1u << bits) - 1;
    for (int x = 0; x < l.width; ++x) {
      const int shift = 8 - bits * (x % perByte + 1);  // the leftmost pixel is in the high bits
      out[x] = Lookup(l, std::to_integer<std::uint32_t>(row[x / perByte]) >> shift & mask);
    }
    return;
  }
  const int size = bits / 8;
  const auto& [red, green, blue] = l.channels;
  for (int x = 0; x < l.width; ++x) {
    const std::uint32_t v = Le(row + x * size, size);
    out[x] = red(v) << 16 | green(v) << 8 | blue(v);
  }
}

// Walks an RLE4 or RLE8 stream.  With `out` null it only checks the stream,
// so that a bad one is refused before the pixels are allocated; with `out`
// it also writes the pixels it sets (skipped ones keep what `out` holds).
void WalkRle(const Layout& l, std::span<const std::byte> data, Pixel* out) {
  const bool nibbles = l.compression == kRle4;
  const std::uint64_t width = l.width;
  const std::uint64_t height = l.height;
  // Some encoders also code the pixels of a row's padding, as if the row
  // were stored uncompressed; they are dropped, anything further is refused.
  const std::uint64_t paddedWidth = (width * l.bitsPerPixel + 31) / 32 * 32 / l.bitsPerPixel;
  std::uint64_t x = 0;
  std::uint64_t y = 0;  // from the bottom row up
  std::size_t at = 0;
  const auto next = [&] {
    if (at >= data.size()) Refuse("the RLE data ends before its end mark");
    return std::to_integer<std::uint32_t>(data[at++]);
  };
  // `count` pixels from x on; the i-th takes the palette index indexAt(i).
  const auto put = [&](std::uint32_t count, auto indexAt) {
    if (y >= height || x + count > paddedWidth) Refuse("an RLE run leaves the image");
    Pixel* row = out != nullptr ? out + (height - 1 - y) * width : nullptr;
    for (std::uint32_t i = 0; i < count; ++i) {
      const Pixel p = Lookup(l, indexAt(i));
      if (row != nullptr && x + i < width) row[x + i] = p;
    }
    x += count;
  };
  const auto nibble = [](std::uint32_t byte, std::uint32_t i) { return i % 2 == 0 ? byte >> 4 : byte & 15; };

  for (;;) {
    const std::uint32_t count = next();
    const std::uint32_t value = next();
    if (count > 0) {  // one index repeated, or two alternating
      put(count, [&](std::uint32_t i) { return nibbles ? nibble(value, i) : value; });
    } else if (value == 0) {  // end of row
      x = 0;
      if (++y > height) Refuse("an RLE row end leaves the image");
    } else if (value == 1) {  // end of picture
      return;
    } else if (value == 2) {  // jump right and up
      x += next();
      y += next();
      if (x > paddedWidth || y > height) Refuse("an RLE jump leaves the image");
    } else {  // `value` literal indices, padded to a 16-bit boundary
      const std::size_t size = nibbles ? (value + 1) / 2 : value;
      if (data.size() - at < size) Refuse("the RLE data ends inside a literal run");
      const std::byte* literal = data.data() + at;
      put(value, [&](std::uint32_t i) {
        const std::uint32_t byte = std::to_integer<std::uint32_t>(literal[nibbles ? i / 2 : i]);
        return nibbles ? nibble(byte, i) : byte;
      });
      at += size + size % 2;
    }
  }
}

std::vector<Pixel> AllocatePixels(const Layout& l, Pixel fill) {
  try {
    return std::vector<Pixel>(static_cast<std::size_t>(l.width) * static_cast<std::size_t>(l.height), fill);
  } catch (const std::bad_alloc&) {
    Refuse("not enough memory for " + std::to_string(l.width) + "x" + std::to_string(l.height) + " pixels");
  }
}

std::vector<Pixel> Decode(const Layout& l, std::span<const std::byte> bytes) {
  const auto data = bytes.subspan(l.pixelOffset, l.bytesNeeded - l.pixelOffset);
  if (l.rle()) {
    WalkRle(l, data, nullptr);
    std::vector<Pixel> pixels = AllocatePixels(l, l.palette[0]);  // skipped pixels take index 0
    WalkRle(l, data, pixels.data());
    return pixels;
  }
  const std::size_t width = l.width;
  const auto storedRow = [&](std::size_t r) { return data.data() + r * l.rowSize; };
  if (l.bitsPerPixel <= 8 && l.palette.size() < (std::size_t{1} << l.bitsPerPixel)) {
    // Some index may lie beyond a short palette: find it before allocating.
    std::vector<Pixel> row(width);
    for (int r = 0; r < l.height; ++r) DecodeRow(l, storedRow(r), row.data());
  }
  std::vector<Pixel> pixels = AllocatePixels(l, 0);
  for (int r = 0; r < l.height; ++r) {
    const std::size_t y = l.topDown ? r : l.height - 1 - r;
    DecodeRow(l, storedRow(r), pixels.data() + y * width);
  }
  return pixels;
}

// Reads exactly `size` bytes at `offset`.
void ReadAt(int fd, std::byte* out, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pread(fd, out, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Refuse(std::strerror(errno));
    if (n == 0) Refuse("the file ended while it was read");
    out += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
}

struct FileDescriptor {
  explicit FileDescriptor(int descriptor) : fd(descriptor) {}
  int fd;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
};

void Put(std::vector<std::byte>& out, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) out.push_back(static_cast<std::byte>(value >> (8 * i)));
}

std::uint64_t RowSize(const TBitmap& bitmap, std::uint32_t bits) {
  return (static_cast<std::uint64_t>(bitmap.width()) * bits + 31) / 32 * 4;
}

// The file header and 40-byte header of an uncompressed bottom-up picture,
// field for field as SDL writes them (no resolution, no important colours).
std::vector<std::byte> StartFile(const TBitmap& bitmap, std::uint32_t bits, std::uint64_t colours) {
  if (bitmap.width() <= 0 || bitmap.height() <= 0) Refuse("the bitmap is empty");
  const std::uint64_t width = bitmap.width(), height = bitmap.height();
  const std::uint64_t offset = kFileHeaderSize + 40 + 4 * colours;
  const std::uint64_t imageSize = RowSize(bitmap, bits) * height;
  if (offset + imageSize > UINT32_MAX) Refuse("the bitmap is too large for a BMP file");
  // "BM", file size, reserved, pixel offset; header size, width, height,
  // planes, depth, compression, image size, resolution, colours used and important.
  const std::pair<std::uint64_t, int> fields[] = {
      {0x4D42, 2}, {offset + imageSize, 4}, {0, 4}, {offset, 4},
      {40, 4}, {width, 4}, {height, 4}, {1, 2}, {bits, 2}, {kRgb, 4},
      {imageSize, 4}, {0, 4}, {0, 4}, {colours, 4}, {0, 4}};
  std::vector<std::byte> out;
  out.reserve(offset + imageSize);
  for (const auto& [value, size] : fields) Put(out, value, size);
  return out;
}

void PadRow(std::vector<std::byte>& out, const TBitmap& bitmap, std::uint32_t bits) {
  out.resize(out.size() + RowSize(bitmap, bits) - static_cast<std::uint64_t>(bitmap.width()) * bits / 8);
}

}  // namespace

void LoadBmp(TBitmap& bitmap, std::span<const std::byte> bytes) {
  const Layout layout = ParseHeader(bytes.first(std::min(bytes.size(), kMaxHeadSize)), bytes.size());
  bitmap.Assign(layout.width, layout.height, Decode(layout, bytes));
}

void LoadBmpFile(TBitmap& bitmap, const std::string& path) {
  try {
    // Non-blocking, so that opening a FIFO nobody writes to returns at once.
    const FileDescriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat status {};
    if (file.fd < 0 || fstat(file.fd, &status) != 0) Refuse(std::strerror(errno));
    if (!S_ISREG(status.st_mode)) Refuse("not a regular file");
    const auto fileSize = static_cast<std::uint64_t>(status.st_size);
    std::vector<std::byte> bytes(std::min<std::uint64_t>(fileSize, kMaxHeadSize));
    ReadAt(file.fd, bytes.data(), bytes.size(), 0);
    const std::size_t head = bytes.size();
    bytes.resize(ParseHeader(bytes, fileSize).bytesNeeded);
    if (bytes.size() > head) ReadAt(file.fd, bytes.data() + head, bytes.size() - head, head);
    LoadBmp(bitmap, bytes);
  } catch (const Exception& e) {
    throw Exception("cannot load picture " + QuotedPath(path) + ": " + e.Message());
  } catch (const std::bad_alloc&) {
    throw Exception("cannot load picture " + QuotedPath(path) + ": not enough memory");
  }
}

std::vector<std::byte> EncodeBmp24(const TBitmap& bitmap) {
  std::vector<std::byte> out = StartFile(bitmap, 24, 0);
  for (int y = bitmap.height() - 1; y >= 0; --y) {
    const Pixel* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.width(); ++x) Put(out, row[x], 3);  // blue, green, red
    PadRow(out, bitmap, 24);
  }
  return out;
}

std::vector<std::byte> EncodeBmp8(const TBitmap& bitmap) {
  std::vector<Pixel> palette;  // sorted, so it does not depend on where colours first appear
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) {
      const Pixel p = bitmap.Row(y)[x];
      const auto at = std::lower_bound(palette.begin(), palette.end(), p);
      if (at != palette.end() && *at == p) continue;
      if (palette.size() == 256) Refuse("more than 256 colours do not fit a palette");
      palette.insert(at, p);
    }
  }
  std::vector<std::byte> out = StartFile(bitmap, 8, palette.size());
  // SDL stores each entry's alpha, opaque, in the fourth byte.
  for (const Pixel p : palette) Put(out, 0xFF000000u | p, 4);
  for (int y = bitmap.height() - 1; y >= 0; --y) {
    const Pixel* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.width(); ++x) {
      Put(out, std::lower_bound(palette.begin(), palette.end(), row[x]) - palette.begin(), 1);
    }
    PadRow(out, bitmap, 8);
  }
  return out;
}

}  // namespace imaging
