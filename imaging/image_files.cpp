#include "imaging/image_files.h"

#include <png.h>

#include <cstring>

#include "drawing/exception.h"
#include "imaging/output_file.h"

using drawing::Pixel;

namespace imaging {

namespace {

void RequireNonEmpty(const TBitmap& bitmap, const std::string& path) {
  if (bitmap.width() <= 0 || bitmap.height() <= 0) FailToWrite(path, "the bitmap is empty");
}

// The bitmap's pixels as rows of R, G, B bytes, no padding.
std::vector<unsigned char> RgbBytes(const TBitmap& bitmap) {
  std::vector<unsigned char> bytes;
  bytes.reserve(static_cast<std::size_t>(bitmap.width()) * bitmap.height() * 3);
  for (int y = 0; y < bitmap.height(); ++y) {
    const Pixel* row = bitmap.Row(y);
    for (int x = 0; x < bitmap.width(); ++x) {
      bytes.push_back(static_cast<unsigned char>(row[x] >> 16));
      bytes.push_back(static_cast<unsigned char>(row[x] >> 8));
      bytes.push_back(static_cast<unsigned char>(row[x]));
    }
  }
  return bytes;
}

// Encodes first, so that a bitmap the format cannot hold fails before any
// file is opened, and the file sees only whole, finished bytes.
void SaveEncoded(const TBitmap& bitmap, const std::string& path,
                 std::vector<std::byte> (*encode)(const TBitmap&)) {
  RequireNonEmpty(bitmap, path);
  std::vector<std::byte> bytes;
  try {
    bytes = encode(bitmap);
  } catch (const Exception& e) {
    FailToWrite(path, e.Message());
  }
  OutputFile file(path);
  file.Write(bytes);
  file.Commit();
}

}  // namespace

void SaveBmp24File(const TBitmap& bitmap, const std::string& path) { SaveEncoded(bitmap, path, EncodeBmp24); }

void SaveBmp8File(const TBitmap& bitmap, const std::string& path) { SaveEncoded(bitmap, path, EncodeBmp8); }

std::vector<std::byte> EncodePng(const TBitmap& bitmap) {
  if (bitmap.width() <= 0 || bitmap.height() <= 0) throw Exception("the bitmap is empty");
  const std::vector<unsigned char> rgb = RgbBytes(bitmap);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.width());
  image.height = static_cast<png_uint_32>(bitmap.height());
  image.format = PNG_FORMAT_RGB;
  // Room for the worst case, so that the picture is compressed only once.
  std::vector<std::byte> png(PNG_IMAGE_PNG_SIZE_MAX(image));
  png_alloc_size_t size = png.size();
  const bool ok = png_image_write_to_memory(&image, png.data(), &size, 0, rgb.data(), 0, nullptr) != 0;
  png_image_free(&image);
  // libpng fails here only on memory or on sizes a bitmap cannot have; its
  // own text would say nothing a user can act on.
  if (!ok) throw Exception("cannot encode the bitmap as PNG");
  png.resize(size);
  return png;
}

void SavePngFile(const TBitmap& bitmap, const std::string& path) { SaveEncoded(bitmap, path, EncodePng); }

void SavePpmFile(const TBitmap& bitmap, const std::string& path) {
  RequireNonEmpty(bitmap, path);
  const std::string header =
      "P6\n" + std::to_string(bitmap.width()) + " " + std::to_string(bitmap.height()) + "\n255\n";
  const std::vector<unsigned char> rgb = RgbBytes(bitmap);
  OutputFile file(path);
  file.Write(header);
  file.Write(std::as_bytes(std::span(rgb)));
  file.Commit();
}

}  // namespace imaging
