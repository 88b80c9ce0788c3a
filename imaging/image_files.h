// Reading and writing bitmaps in file formats.  BMP goes through SDL's own
// codec (its surfaces and RWops only, never its video subsystem), PNG through
// libpng; nothing here parses or encodes by hand.  Every failure raises
// `Exception` with a one-line message, and every file is written whole or
// not at all (imaging/output_file.h).

#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "drawing/canvas.h"

namespace imaging {

// Replaces the bitmap's size and pixels with a BMP image held in memory.
void LoadBmp(TBitmap& bitmap, std::span<const std::byte> bytes);
void LoadBmpFile(TBitmap& bitmap, const std::string& path);

// 24 bits per pixel, uncompressed, rows bottom-up.
void SaveBmp24File(const TBitmap& bitmap, const std::string& path);

// 8 bits per pixel over a palette of exactly the bitmap's own colours, which
// must be at most 256: the form a small icon takes.
void SaveBmp8File(const TBitmap& bitmap, const std::string& path);

// 8-bit RGB.
void SavePngFile(const TBitmap& bitmap, const std::string& path);

// Binary P6, maxval 255.
void SavePpmFile(const TBitmap& bitmap, const std::string& path);

}  // namespace imaging
