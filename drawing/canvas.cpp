#include "drawing/canvas.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

using drawing::OpaqueRun;
using drawing::Pixel;
using drawing::Surface;
using drawing::ToColor;
using drawing::ToPixel;

namespace {

// Half-open span [lo, hi) on one axis; empty when hi <= lo.
struct Span {
  int lo;
  int hi;
  bool empty() const { return hi <= lo; }
};

Span Clip(int lo, int hi, int limit) { return {std::max(lo, 0), std::min(hi, limit)}; }

Pixel* At(const Surface& s, int x, int y) {
  return s.pixels + static_cast<std::ptrdiff_t>(y) * s.stride + x;
}

// --- Unchecked inner routines: every coordinate is already inside. ---------

// Long fills are the sky, most of a frame's cost.  At the baseline
// instruction set GCC vectorises a fill loop with 16-byte stores, two to
// three times slower than the C library's memset family, which picks the
// fastest store the processor has when the program loads.  wchar_t is 32
// bits on the systems we build for, so wmemset is that fill for pixels.
void FillLongRowUnchecked(Pixel* row, std::ptrdiff_t count, Pixel colour) {
  static_assert(sizeof(wchar_t) == sizeof(Pixel));
  std::wmemset(reinterpret_cast<wchar_t*>(row), static_cast<wchar_t>(colour), static_cast<std::size_t>(count));
}

void FillRowUnchecked(Pixel* row, int count, Pixel colour) {
  // Rain is mostly 3-pixel rows, which a wide loop's set-up would dominate,
  // so short rows are written directly.
  switch (count) {
    case 4: row[3] = colour; [[fallthrough]];
    case 3: row[2] = colour; [[fallthrough]];
    case 2: row[1] = colour; [[fallthrough]];
    case 1: row[0] = colour; return;
    default: break;
  }
  FillLongRowUnchecked(row, count, colour);
}

void FillBoxUnchecked(const Surface& s, Span xs, Span ys, Pixel colour) {
  // Whole rows of a gapless surface are one block: a single long fill.
  if (xs.lo == 0 && xs.hi == s.width && s.stride == s.width) {
    FillLongRowUnchecked(At(s, 0, ys.lo), static_cast<std::ptrdiff_t>(s.width) * (ys.hi - ys.lo), colour);
    return;
  }
  for (int y = ys.lo; y < ys.hi; ++y) FillRowUnchecked(At(s, xs.lo, y), xs.hi - xs.lo, colour);
}

void CopyRowsUnchecked(const Surface& dst, int dx, int dy, const TBitmap& src, Span xs, Span ys) {
  const std::size_t bytes = static_cast<std::size_t>(xs.hi - xs.lo) * sizeof(Pixel);
  // memmove, not memcpy: a bitmap drawn onto its own canvas shares rows with
  // the target (overlapping rows across a vertical shift are not handled).
  for (int y = ys.lo; y < ys.hi; ++y) std::memmove(At(dst, dx + xs.lo, dy + y), src.Row(y) + xs.lo, bytes);
}

// Runs are sorted by row, so the rows clipped away above are skipped by one
// binary search, the loop stops at the last visible row, and only the runs'
// ends need clipping.
void CopyRunsUnchecked(const Surface& dst, int dx, int dy, const TBitmap& src, Span xs, Span ys) {
  const auto& runs = src.OpaqueRuns();
  auto first = std::lower_bound(runs.begin(), runs.end(), ys.lo,
                                [](const OpaqueRun& r, int y) { return r.y < y; });
  for (auto r = first; r != runs.end() && r->y < ys.hi; ++r) {
    const int x0 = std::max(r->x0, xs.lo);
    const int x1 = std::min(r->x1, xs.hi);
    if (x0 >= x1) continue;
    std::memmove(At(dst, dx + x0, dy + r->y), src.Row(r->y) + x0,
                 static_cast<std::size_t>(x1 - x0) * sizeof(Pixel));
  }
}

// Lines may run between any two 32-bit points, so the closed form below
// multiplies 33-bit quantities: 128-bit intermediates keep it exact.
__extension__ using Wide = __int128;

// ceil(a / b) for a >= 0 and b > 0.
std::int64_t CeilDiv(Wide a, Wide b) { return static_cast<std::int64_t>((a + b - 1) / b); }

// The Bresenham loop of the contract visits, at step k (0 <= k < major), the
// pixel whose major coordinate has moved k and whose minor coordinate has
// moved n(k) = floor((2 minor k + major) / (2 major)) (both counted in the
// direction of travel).  That closed form lets a line be clipped once, to a
// range of steps, instead of testing every pixel.
struct LineSteps {
  std::int64_t major;  // steps along the major axis = pixels drawn
  std::int64_t minor;  // total movement along the minor axis
};

// Smallest k with n(k) >= t.
std::int64_t FirstStepReaching(const LineSteps& l, std::int64_t t) {
  if (t <= 0) return 0;
  if (t > l.minor) return l.major;  // n(k) <= minor: never reached
  return CeilDiv(Wide{l.major} * (2 * t - 1), Wide{2} * l.minor);
}

// A half-open range of steps; lines between far-apart points take more than
// 2^31 of them.
struct StepRange {
  std::int64_t lo;
  std::int64_t hi;
};

// Steps k in [0, major) whose coordinate along one axis lies in [0, limit).
// `start` is the coordinate at k = 0; `dir` the direction of travel (+1/-1);
// `minorAxis` says whether this axis is the minor one.
StepRange StepsInside(const LineSteps& l, std::int64_t start, int dir, bool minorAxis, int limit) {
  // Distance to travel before entering [0, limit) and before leaving it.
  const std::int64_t enter = dir > 0 ? -start : start - (limit - 1);
  const std::int64_t leave = dir > 0 ? limit - start : start + 1;
  std::int64_t lo, hi;
  if (minorAxis) {
    lo = FirstStepReaching(l, enter);
    hi = FirstStepReaching(l, leave);
  } else {
    lo = std::max<std::int64_t>(enter, 0);
    hi = std::max<std::int64_t>(leave, 0);
  }
  return {std::clamp<std::int64_t>(lo, 0, l.major), std::clamp<std::int64_t>(hi, 0, l.major)};
}

}  // namespace

// --- TCanvas ----------------------------------------------------------------

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  const Span xs = Clip(x1, x2, surface_.width);
  const Span ys = Clip(y1, y2, surface_.height);
  if (xs.empty() || ys.empty()) return;  // also a reversed or empty box
  Touch();

  const Pixel brush = brush_.Color.pixel();
  const Pixel pen = pen_.Color.pixel();
  // Drops paint with pen and brush alike: then the border needs no care.
  if (pen == brush) {
    FillBoxUnchecked(surface_, xs, ys, pen);
    return;
  }
  // The border lies inside the box: fill it all with the brush in one go,
  // then paint the border where it survived clipping.
  FillBoxUnchecked(surface_, xs, ys, brush);
  if (ys.lo == y1) FillRowUnchecked(At(surface_, xs.lo, y1), xs.hi - xs.lo, pen);
  if (ys.hi == y2 && y2 - 1 != y1) FillRowUnchecked(At(surface_, xs.lo, y2 - 1), xs.hi - xs.lo, pen);
  const int inner0 = ys.lo == y1 ? y1 + 1 : ys.lo;
  const int inner1 = ys.hi == y2 ? y2 - 1 : ys.hi;
  if (xs.lo == x1) {
    for (int y = inner0; y < inner1; ++y) *At(surface_, x1, y) = pen;
  }
  if (xs.hi == x2) {
    for (int y = inner0; y < inner1; ++y) *At(surface_, x2 - 1, y) = pen;
  }
}

void TCanvas::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
}

void TCanvas::LineTo(int x, int y) {
  const int x0 = penX_;
  const int y0 = penY_;
  penX_ = x;
  penY_ = y;

  const std::int64_t dx = std::llabs(static_cast<std::int64_t>(x) - x0);
  const std::int64_t dy = std::llabs(static_cast<std::int64_t>(y) - y0);
  const int sx = x0 < x ? 1 : -1;
  const int sy = y0 < y ? 1 : -1;
  const bool xMajor = dx >= dy;
  const LineSteps steps{xMajor ? dx : dy, xMajor ? dy : dx};

  const StepRange kx = StepsInside(steps, x0, sx, !xMajor, surface_.width);
  const StepRange ky = StepsInside(steps, y0, sy, xMajor, surface_.height);
  const StepRange ks{std::max(kx.lo, ky.lo), std::min(kx.hi, ky.hi)};
  if (ks.hi <= ks.lo) return;
  Touch();

  // Enter the loop at step ks.lo with the minor position and remainder the
  // closed form gives, then walk the clipped steps without bounds checks.
  const std::int64_t twoMajor = 2 * steps.major;
  const std::int64_t twoMinor = 2 * steps.minor;
  std::int64_t moved = 0;
  std::int64_t rem = steps.major;
  if (ks.lo > 0) {  // only clipped lines pay for the wide division
    const Wide num = Wide{twoMinor} * ks.lo + steps.major;
    moved = static_cast<std::int64_t>(num / twoMajor);
    rem = static_cast<std::int64_t>(num % twoMajor);
  }
  const Pixel pen = pen_.Color.pixel();

  std::int64_t major = (xMajor ? x0 : y0) + static_cast<std::int64_t>(xMajor ? sx : sy) * ks.lo;
  const int majorStep = xMajor ? sx : sy;
  const int minorStep = xMajor ? sy : sx;
  const std::int64_t minorStart = xMajor ? y0 : x0;
  for (std::int64_t k = ks.lo; k < ks.hi; ++k) {
    const std::int64_t minor = minorStart + minorStep * moved;
    const int px = static_cast<int>(xMajor ? major : minor);
    const int py = static_cast<int>(xMajor ? minor : major);
    *At(surface_, px, py) = pen;
    major += majorStep;
    rem += twoMinor;
    if (rem >= twoMajor) {
      rem -= twoMajor;
      ++moved;
    }
  }
}

void TCanvas::Draw(int x, int y, const TBitmap* bitmap) {
  if (bitmap == nullptr) return;
  // The part of the source that lands on the surface, in source coordinates.
  const auto visible = [](int at, int size, int limit) {
    const std::int64_t lo = std::max<std::int64_t>(0, -static_cast<std::int64_t>(at));
    const std::int64_t hi = std::min<std::int64_t>(size, static_cast<std::int64_t>(limit) - at);
    return hi <= lo ? Span{0, 0} : Span{static_cast<int>(lo), static_cast<int>(hi)};
  };
  const Span xs = visible(x, bitmap->width(), surface_.width);
  const Span ys = visible(y, bitmap->height(), surface_.height);
  if (xs.empty() || ys.empty()) return;
  Touch();

  if (bitmap->Transparent) {
    CopyRunsUnchecked(surface_, x, y, *bitmap, xs, ys);
  } else {
    CopyRowsUnchecked(surface_, x, y, *bitmap, xs, ys);
  }
}

// --- TBitmap ----------------------------------------------------------------

TBitmap::TBitmap() { Reattach(); }

TBitmap::Dimension& TBitmap::Dimension::operator=(int value) {
  if (isWidth_) {
    owner_->SetSize(value, owner_->height_);
  } else {
    owner_->SetSize(owner_->width_, value);
  }
  return *this;
}

TBitmap::Dimension::operator int() const { return isWidth_ ? owner_->width_ : owner_->height_; }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  std::vector<Pixel> resized(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                             ToPixel(clBlack));
  const int keepW = std::min(width, width_);
  const int keepH = std::min(height, height_);
  for (int y = 0; y < keepH; ++y) {
    std::copy_n(pixels_.data() + static_cast<std::size_t>(y) * width_, keepW,
                resized.data() + static_cast<std::size_t>(y) * width);
  }
  width_ = width;
  height_ = height;
  pixels_ = std::move(resized);
  Reattach();
}

void TBitmap::Assign(int width, int height, std::vector<Pixel> pixels) {
  assert(width >= 0 && height >= 0);
  assert(pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  width_ = width;
  height_ = height;
  pixels_ = std::move(pixels);
  Reattach();
}

void TBitmap::Reattach() {
  canvas_.Attach({pixels_.data(), width_, height_, width_});
  canvas_.Touch();
}

TColor TBitmap::GetPixel(int x, int y) const {
  assert(x >= 0 && x < width_);
  return ToColor(Row(y)[x]);
}

void TBitmap::SetPixel(int x, int y, TColor c) {
  assert(x >= 0 && x < width_);
  MutableRow(y)[x] = ToPixel(c);
}

const Pixel* TBitmap::Row(int y) const {
  assert(y >= 0 && y < height_);
  return pixels_.data() + static_cast<std::size_t>(y) * width_;
}

Pixel* TBitmap::MutableRow(int y) {
  assert(y >= 0 && y < height_);
  canvas_.Touch();
  return pixels_.data() + static_cast<std::size_t>(y) * width_;
}

Pixel TBitmap::TransparentPixel() const {
  assert(width_ > 0 && height_ > 0);
  return Row(height_ - 1)[0];
}

const std::vector<OpaqueRun>& TBitmap::OpaqueRuns() const {
  if (runsVersion_ == canvas_.version()) return runs_;
  runs_.clear();
  if (width_ > 0 && height_ > 0) {
    const Pixel key = TransparentPixel();
    for (int y = 0; y < height_; ++y) {
      const Pixel* row = Row(y);
      int x = 0;
      while (x < width_) {
        while (x < width_ && row[x] == key) ++x;
        const int start = x;
        while (x < width_ && row[x] != key) ++x;
        if (x > start) runs_.push_back({y, start, x});
      }
    }
  }
  runsVersion_ = canvas_.version();
  return runs_;
}
