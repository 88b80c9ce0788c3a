#include "imaging/image_files.h"

#include <SDL.h>
#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

#include "drawing/exception.h"
#include "imaging/output_file.h"

using drawing::Pixel;

namespace imaging {

namespace {

struct SurfaceDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<SDL_Surface, SurfaceDeleter>;

std::string SdlError() {
  const char* text = SDL_GetError();
  return (text != nullptr && *text != '\0') ? text : "unknown SDL error";
}

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

void WriteBmp(SDL_Surface* surface, const std::string& path) {
  OutputFile file(path);
  SDL_RWops* rw = SDL_RWFromFP(file.stream(), SDL_FALSE);
  if (rw == nullptr) file.Fail(SdlError());
  if (SDL_SaveBMP_RW(surface, rw, 1) != 0) file.Fail(SdlError());
  file.Commit();
}

}  // namespace

void LoadBmp(TBitmap& bitmap, std::span<const std::byte> bytes) {
  if (bytes.empty()) throw Exception("Invalid BMP image: no data");
  if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) throw Exception("Invalid BMP image: too large");
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
  if (rw == nullptr) throw Exception("Invalid BMP image: " + SdlError());
  SurfacePtr loaded(SDL_LoadBMP_RW(rw, 1));
  if (!loaded) throw Exception("Invalid BMP image: " + SdlError());
  SurfacePtr converted(SDL_ConvertSurfaceFormat(loaded.get(), SDL_PIXELFORMAT_XRGB8888, 0));
  if (!converted) throw Exception("Cannot convert BMP image: " + SdlError());

  const int width = converted->w;
  const int height = converted->h;
  std::vector<Pixel> pixels(static_cast<std::size_t>(width) * height);
  if (SDL_LockSurface(converted.get()) != 0) throw Exception("Cannot read BMP image: " + SdlError());
  const auto* base = static_cast<const unsigned char*>(converted->pixels);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(base + static_cast<std::size_t>(y) * converted->pitch);
    // The padding byte is not ours to keep: SDL may fill it with 0xFF.
    for (int x = 0; x < width; ++x) pixels[static_cast<std::size_t>(y) * width + x] = row[x] & 0xFFFFFFu;
  }
  SDL_UnlockSurface(converted.get());
  bitmap.Assign(width, height, std::move(pixels));
}

void LoadBmpFile(TBitmap& bitmap, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Exception("Cannot read " + path + ": " + std::strerror(errno));
  std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Exception("Cannot read " + path);
  try {
    LoadBmp(bitmap, std::as_bytes(std::span<const char>(data)));
  } catch (const Exception& e) {
    throw Exception(path + ": " + e.Message());
  }
}

void SaveBmp24File(const TBitmap& bitmap, const std::string& path) {
  RequireNonEmpty(bitmap, path);
  // SDL writes a 24-bit surface whose red mask is 0xFF0000 as it is: a
  // plain BI_RGB bitmap, bottom-up.  Other formats would come out as 32-bit.
  SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, bitmap.width(), bitmap.height(), 24, SDL_PIXELFORMAT_BGR24));
  if (!surface) FailToWrite(path, SdlError());
  auto* base = static_cast<unsigned char*>(surface->pixels);
  for (int y = 0; y < bitmap.height(); ++y) {
    const Pixel* row = bitmap.Row(y);
    unsigned char* out = base + static_cast<std::size_t>(y) * surface->pitch;
    for (int x = 0; x < bitmap.width(); ++x) {
      *out++ = static_cast<unsigned char>(row[x]);        // blue
      *out++ = static_cast<unsigned char>(row[x] >> 8);   // green
      *out++ = static_cast<unsigned char>(row[x] >> 16);  // red
    }
  }
  WriteBmp(surface.get(), path);
}

void SaveBmp8File(const TBitmap& bitmap, const std::string& path) {
  RequireNonEmpty(bitmap, path);
  std::map<Pixel, Uint8> index;  // ordered, so the palette does not depend on pixel order
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) index.emplace(bitmap.Row(y)[x], 0);
  }
  if (index.size() > 256) FailToWrite(path, std::to_string(index.size()) + " colours do not fit a palette");
  std::vector<SDL_Color> colors;
  for (auto& [pixel, slot] : index) {
    slot = static_cast<Uint8>(colors.size());
    colors.push_back({static_cast<Uint8>(pixel >> 16), static_cast<Uint8>(pixel >> 8), static_cast<Uint8>(pixel), 255});
  }

  SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, bitmap.width(), bitmap.height(), 8, SDL_PIXELFORMAT_INDEX8));
  std::unique_ptr<SDL_Palette, decltype(&SDL_FreePalette)> palette(SDL_AllocPalette(static_cast<int>(colors.size())),
                                                                   &SDL_FreePalette);
  // SDL writes as many palette entries as the surface's palette holds.
  if (!surface || !palette || SDL_SetPaletteColors(palette.get(), colors.data(), 0, palette->ncolors) != 0 ||
      SDL_SetSurfacePalette(surface.get(), palette.get()) != 0) {
    FailToWrite(path, SdlError());
  }
  auto* base = static_cast<Uint8*>(surface->pixels);
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) {
      base[static_cast<std::size_t>(y) * surface->pitch + x] = index.at(bitmap.Row(y)[x]);
    }
  }
  WriteBmp(surface.get(), path);
}

void SavePngFile(const TBitmap& bitmap, const std::string& path) {
  RequireNonEmpty(bitmap, path);
  const std::vector<unsigned char> rgb = RgbBytes(bitmap);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(bitmap.width());
  image.height = static_cast<png_uint_32>(bitmap.height());
  image.format = PNG_FORMAT_RGB;

  OutputFile file(path);
  const int ok = png_image_write_to_stdio(&image, file.stream(), 0, rgb.data(), 0, nullptr);
  const bool failed = ok == 0 || PNG_IMAGE_FAILED(image);
  const std::string reason = image.message;
  png_image_free(&image);
  if (failed) file.Fail(reason.empty() ? "PNG encoding failed" : reason);
  file.Commit();
}

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
