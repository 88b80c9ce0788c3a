// BMP files in and out, without SDL, so that headless tools link no X11.
//
// The decoder is strict: it checks every header field against what a valid
// file can hold before it allocates any pixel memory, and it refuses pixel
// indices beyond the palette and RLE streams that leave the image or the
// data.  Every refusal raises `Exception` with a one-line reason.

#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "drawing/canvas.h"
#include "drawing/exception.h"

namespace imaging {

// Replaces the bitmap's size and pixels with the BMP image held in `bytes`:
// 1, 4, 8, 16, 24 or 32 bits, RLE4, RLE8 or BITFIELDS, with a 12-, 40-, 52-,
// 56-, 108- or 124-byte header; alpha is dropped.  On a refusal the bitmap
// is left as it was.
void LoadBmp(TBitmap& bitmap, std::span<const std::byte> bytes);

// The same for a file, read without blocking and only as far as its layout
// needs.  Refusals read "cannot load picture 'PATH': reason".
void LoadBmpFile(TBitmap& bitmap, const std::string& path);

// 24 bits per pixel, uncompressed, rows bottom-up, a 40-byte header.
std::vector<std::byte> EncodeBmp24(const TBitmap& bitmap);

// 8 bits per pixel over a palette of exactly the bitmap's own colours in
// ascending pixel order, which must be at most 256: the form a small icon
// takes.
std::vector<std::byte> EncodeBmp8(const TBitmap& bitmap);

}  // namespace imaging
