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
  int width = 0;
  int height = 0;  // rows, whichever way they are stored
  bool topDown = false;
  int bitsPerPixel = 0;
  std::uint32_t compression = kRgb;
  std::vector<Pixel> palette;        // indexed layouts only, at least one entry
  std::array<Channel, 3> channels;   // red, green, blue of 16-, 24- and 32-bit pixels
  std::uint64_t pixelOffset = 0;
  std::uint64_t rowSize = 0;         // bytes per stored row, uncompressed only
  std::uint64_t bytesNeeded = 0;     // how much of the file the decoder reads

  bool rle() const { return compression == kRle8 || compression == kRle4; }
};

bool DepthFits(std::uint32_t compression, std::uint32_t bits) {
  switch (compression) {
    case kRgb: return true;
    case kRle8: return bits == 8;
    case kRle4: return bits == 4;
    default: return bits == 16 || bits == 32;
  }
}

void ReadMasks(Layout& l, std::span<const std::byte> head, std::uint32_t headerSize) {
  std::uint32_t masks[4] = {0x7C00, 0x03E0, 0x001F, 0};
  if (l.bitsPerPixel != 16) std::copy_n(std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}.begin(), 3, masks);
  if (l.compression == kBitfields) {
    // From 52 bytes on the masks are part of the header, before that they follow it.
    const std::size_t count = headerSize >= 56 ? 4 : 3;
    for (std::size_t i = 0; i < count; ++i) masks[i] = Le(head.data() + 54 + 4 * i, 4);
    const std::uint32_t overlap = (masks[0] & masks[1]) | ((masks[0] | masks[1]) & masks[2]) |
                                  ((masks[0] | masks[1] | masks[2]) & masks[3]);
    bool valid = overlap == 0 && (masks[3] == 0 || IsValidMask(masks[3], l.bitsPerPixel));
    for (int i = 0; i < 3; ++i) valid = valid && IsValidMask(masks[i], l.bitsPerPixel);
    if (!valid) {
      Refuse("colour masks " + Hex(masks[0]) + " " + Hex(masks[1]) + " " + Hex(masks[2]) + " " + Hex(masks[3]) +
             " are not valid for " + std::to_string(l.bitsPerPixel) + " bits");
    }
  }
  for (int i = 0; i < 3; ++i) l.channels[i] = Channel(masks[i]);
}

// `head` is the start of a file of `fileSize` bytes: all of it, or at least
// kMaxHeadSize bytes.
Layout ParseHeader(std::span<const std::byte> head, std::uint64_t fileSize) {
  const auto require = [&](std::uint64_t size) {
    if (head.size() < size) Refuse("the header is cut short");
  };
  if (head.size() < 2 || head[0] != std::byte{'B'} || head[1] != std::byte{'M'}) Refuse("not a BMP file");
  require(kFileHeaderSize + 4);
  const auto u16 = [&](std::size_t at) { return Le(head.data() + at, 2); };
  const auto u32 = [&](std::size_t at) { return Le(head.data() + at, 4); };

  const std::uint32_t headerSize = u32(14);
  const bool core = headerSize == 12;
  if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124) {
    Refuse("unsupported header size " + std::to_string(headerSize));
  }
  require(kFileHeaderSize + headerSize);
  // A 40-byte header is followed by its three masks when it has them.
  const std::uint32_t compression = core ? kRgb : u32(30);
  const std::uint64_t masksAfter = headerSize == 40 && compression == kBitfields ? 12 : 0;
  const std::uint64_t headersEnd = kFileHeaderSize + headerSize + masksAfter;
  require(headersEnd);

  const std::int64_t width = core ? std::int64_t{u16(18)} : std::int32_t(u32(18));
  const std::int64_t height = core ? std::int64_t{u16(20)} : std::int32_t(u32(22));
  const std::uint32_t planes = u16(core ? 22 : 26);
  const std::uint32_t bits = u16(core ? 24 : 28);
  if (width <= 0) Refuse("width " + std::to_string(width) + " is not positive");
  if (height == 0) Refuse("height is zero");
  if (width > kMaxSide || height > kMaxSide || height < -kMaxSide) {
    Refuse("size " + std::to_string(width) + "x" + std::to_string(height) + " exceeds 16384 pixels");
  }
  if (planes != 1) Refuse("plane count " + std::to_string(planes) + " is not 1");
  if (compression > kBitfields) Refuse("unsupported compression " + std::to_string(compression));
  const bool depthExists = bits == 1 || bits == 4 || bits == 8 || bits == 24 || (!core && (bits == 16 || bits == 32));
  if (!depthExists) Refuse("unsupported bit depth " + std::to_string(bits));
  if (!DepthFits(compression, bits)) {
    Refuse("compression " + std::to_string(compression) + " does not go with " + std::to_string(bits) + " bits");
  }

  Layout l;
  l.width = static_cast<int>(width);
  l.height = static_cast<int>(height < 0 ? -height : height);
  l.topDown = height < 0;
  l.bitsPerPixel = static_cast<int>(bits);
  l.compression = compression;
  if (l.topDown && l.rle()) Refuse("top-down rows cannot be compressed");
  if (bits >= 16) ReadMasks(l, head, headerSize);

  l.pixelOffset = u32(10);
  if (l.pixelOffset < headersEnd) Refuse("pixel offset " + std::to_string(l.pixelOffset) + " lies inside the headers");
  if (l.pixelOffset >= fileSize) Refuse("pixel offset " + std::to_string(l.pixelOffset) + " lies past the end");

  // A 12-byte header has no colour count: its palette is whatever lies
  // before the pixels, up to a full one.  Deeper pixels may carry a palette
  // too; it is never read, but it must still fit.
  const std::uint64_t entrySize = core ? 3 : 4;
  const std::uint64_t fullPalette = bits <= 8 ? std::uint64_t{1} << bits : 0;
  const std::uint64_t colours = core ? std::min(fullPalette, (l.pixelOffset - headersEnd) / 3)
                                     : (u32(46) != 0 ? u32(46) : fullPalette);
  if (bits <= 8 && colours > fullPalette) {
    Refuse("a palette of " + std::to_string(colours) + " colours is too large for " + std::to_string(bits) + " bits");
  }
  if (headersEnd + colours * entrySize > l.pixelOffset) {
    Refuse("a palette of " + std::to_string(colours) + " colours does not fit before the pixels");
  }
  if (bits <= 8) {
    if (colours == 0) Refuse("the palette is empty");
    require(headersEnd + colours * entrySize);
    for (std::uint64_t i = 0; i < colours; ++i) {
      const std::byte* entry = head.data() + headersEnd + i * entrySize;
      l.palette.push_back(Le(entry, 3));  // blue, green, red: 0x00RRGGBB
    }
  }

  const std::uint64_t pixels = static_cast<std::uint64_t>(l.width) * static_cast<std::uint64_t>(l.height);
  if (l.rle()) {
    // No sensible stream spends more than 4 bytes on a pixel (a one-pixel
    // jump) or on ending a row; bytes past that are never read.
    l.bytesNeeded = std::min(fileSize, l.pixelOffset + 4 * (pixels + l.height) + 2);
  } else {
    l.rowSize = (static_cast<std::uint64_t>(l.width) * bits + 31) / 32 * 4;
    l.bytesNeeded = l.pixelOffset + l.rowSize * l.height;
    if (l.bytesNeeded > fileSize) {
      Refuse("a " + std::to_string(l.width) + "x" + std::to_string(l.height) + " picture of " + std::to_string(bits) +
             "-bit pixels needs " + std::to_string(l.bytesNeeded) + " bytes, the file has " + std::to_string(fileSize));
    }
  }
  return l;
}

Pixel Lookup(const Layout& l, std::uint32_t index) {
  if (index >= l.palette.size()) {
    Refuse("pixel index " + std::to_string(index) + " lies beyond the palette of " +
           std::to_string(l.palette.size()) + " colours");
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

std::uint64_t RowSize(const TBitmap& bitmap, int bits) {
  return (static_cast<std::uint64_t>(bitmap.width()) * bits + 31) / 32 * 4;
}

// The file header and 40-byte header of an uncompressed bottom-up picture,
// field for field as SDL writes them (no resolution, no important colours).
std::vector<std::byte> StartFile(const TBitmap& bitmap, int bits, std::size_t colours) {
  if (bitmap.width() <= 0 || bitmap.height() <= 0) Refuse("the bitmap is empty");
  const std::uint64_t offset = kFileHeaderSize + 40 + 4 * colours;
  const std::uint64_t imageSize = RowSize(bitmap, bits) * bitmap.height();
  if (offset + imageSize > UINT32_MAX) Refuse("the bitmap is too large for a BMP file");
  std::vector<std::byte> out;
  out.reserve(offset + imageSize);
  out.push_back(std::byte{'B'});
  out.push_back(std::byte{'M'});
  for (const std::uint64_t field : {offset + imageSize, std::uint64_t{0}, offset, std::uint64_t{40}}) Put(out, field, 4);
  Put(out, bitmap.width(), 4);
  Put(out, bitmap.height(), 4);
  Put(out, 1, 2);
  Put(out, bits, 2);
  for (const std::uint64_t field : {std::uint64_t{0}, imageSize, std::uint64_t{0}, std::uint64_t{0}, colours,
                                    std::uint64_t{0}}) {
    Put(out, field, 4);
  }
  return out;
}

void PadRow(std::vector<std::byte>& out, const TBitmap& bitmap, int bits) {
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
    throw Exception("cannot load picture " + path + ": " + e.Message());
  } catch (const std::bad_alloc&) {
    throw Exception("cannot load picture " + path + ": not enough memory");
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
