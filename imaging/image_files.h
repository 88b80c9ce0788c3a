// Reading and writing bitmaps in file formats.  BMP goes through our own
// strict codec (imaging/bmp.h), PNG through libpng, encoded in memory.
// Every failure raises `Exception` with a one-line message, and every file
// is written whole or not at all (imaging/output_file.h).

#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "imaging/bmp.h"

namespace imaging {

// 24 bits per pixel, uncompressed, rows bottom-up.
void SaveBmp24File(const TBitmap& bitmap, const std::string& path);

// 8 bits per pixel over a palette of exactly the bitmap's own colours, which
// must be at most 256: the form a small icon takes.
void SaveBmp8File(const TBitmap& bitmap, const std::string& path);

// 8-bit RGB.
std::vector<std::byte> EncodePng(const TBitmap& bitmap);
void SavePngFile(const TBitmap& bitmap, const std::string& path);

// Binary P6, maxval 255.
void SavePpmFile(const TBitmap& bitmap, const std::string& path);

}  // namespace imaging
