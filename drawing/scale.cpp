#include "drawing/scale.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace drawing {
namespace {

// Half-open span [lo, hi) on one axis, counted from the start of a box.
struct Span {
  int lo;
  int hi;
  bool empty() const { return hi <= lo; }
  int size() const { return hi - lo; }
};

// The part of a box edge [at, at + size) that lies in [0, limit).  Wide
// arithmetic, because a box may lie anywhere in the int range.
Span Visible(int at, int size, int limit) {
  const std::int64_t lo = std::max<std::int64_t>(0, -std::int64_t{at});
  const std::int64_t hi = std::min<std::int64_t>(size, std::int64_t{limit} - at);
  return hi <= lo ? Span{0, 0} : Span{static_cast<int>(lo), static_cast<int>(hi)};
}

Pixel* At(const Surface& s, int x, int y) {
  return s.pixels + static_cast<std::ptrdiff_t>(y) * s.stride + x;
}

// Walks i(d) = floor(d * from / to) for d = start, start + 1, ... with one
// addition per step, so that no pixel pays for a division and no rounding
// error can build up along a row.
class NearestWalk {
 public:
  NearestWalk(int from, int to, int start) : whole_(from / to), part_(from % to), to_(to) {
    const std::int64_t n = std::int64_t{start} * from;
    index_ = static_cast<int>(n / to);
    rest_ = n % to;
  }
  int index() const { return index_; }
  void Next() {
    index_ += whole_;
    rest_ += part_;
    if (rest_ >= to_) {
      rest_ -= to_;
      ++index_;
    }
  }

 private:
  int whole_;
  int part_;
  int to_;
  int index_;
  std::int64_t rest_;  // d * from mod to
};

// --- Unchecked inner routines: every span is already clipped to both
// surfaces. ------------------------------------------------------------------

// Writes `count` source pixels as N copies each.  The whole-scale present
// spends its time here, so the common scales get SSE2, the baseline of
// x86-64: one shuffle per four output pixels and no per-pixel branches.
template <int N>
void ExpandUnchecked(Pixel* out, const Pixel* in, int count) {
  int i = 0;
#if defined(__SSE2__)
  static_assert(N >= 2 && N <= 4);
  for (; i + 4 <= count; i += 4, out += 4 * N) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    auto* to = reinterpret_cast<__m128i*>(out);
  if constexpr (N == 2) {
      _mm_storeu_si128(to, _mm_unpacklo_epi32(v, v));      // a a b b
      _mm_storeu_si128(to + 1, _mm_unpackhi_epi32(v, v));  // c c d d
    } else if constexpr (N == 3) {
      _mm_storeu_si128(to, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 0, 0)));      // a a a b
      _mm_storeu_si128(to + 1, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 1, 1)));  // b b c c
      _mm_storeu_si128(to + 2, _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 3, 2)));  // c d d d
    } else {
      _mm_storeu_si128(to, _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 0, 0, 0)));
      _mm_storeu_si128(to + 1, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 1, 1, 1)));
      _mm_storeu_si128(to + 2, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 2, 2)));
      _mm_storeu_si128(to + 3, _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 3, 3)));
    }
  }
#endif
  for (; i < count; ++i, out += N) std::fill_n(out, N, in[i]);
}

#if defined(__SSE2__)
// The N rows of a band of N x N blocks at once, with stores that bypass the
// cache.  A scaled frame is several times larger than the cache can keep for
// long, and the X server reads it from memory anyway: written through the
// cache, every line would first be read, and the frame would push the view
// and the picture, which the next frame needs, out of the cache.  Every
// row must start on a 16-byte boundary.
template <int N>
void StreamBlocksUnchecked(Pixel* out, std::ptrdiff_t stride, __m128i v) {
  static_assert(N >= 2 && N <= 4);
  __m128i parts[N];
  if constexpr (N == 2) {
    parts[0] = _mm_unpacklo_epi32(v, v);
    parts[1] = _mm_unpackhi_epi32(v, v);
  } else if constexpr (N == 3) {
    parts[0] = _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 0, 0));
    parts[1] = _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 1, 1));
    parts[2] = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 3, 2));
  } else {
    parts[0] = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 0, 0, 0));
    parts[1] = _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 1, 1, 1));
    parts[2] = _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 2, 2, 2));
    parts[3] = _mm_shuffle_epi32(v, _MM_SHUFFLE(3, 3, 3, 3));
  }
  for (int row = 0; row < N; ++row) {
    auto* to = reinterpret_cast<__m128i*>(out + row * stride);
    for (int part = 0; part < N; ++part) _mm_stream_si128(to + part, parts[part]);
  }
}

// `shown`, when not null, is what the band shows now: runs of eight source
// pixels equal to it are skipped, the others are written there too.
template <int N>
void ExpandBandStreamedUnchecked(Pixel* out, std::ptrdiff_t stride, const Pixel* in, Pixel* shown, int count) {
  const auto load = [](const Pixel* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  int i = 0;
  for (; i + 8 <= count; i += 8, out += 8 * N) {
    const __m128i low = load(in + i);
    const __m128i high = load(in + i + 4);
    if (shown != nullptr) {
      const __m128i same =
          _mm_and_si128(_mm_cmpeq_epi32(low, load(shown + i)), _mm_cmpeq_epi32(high, load(shown + i + 4)));
      if (_mm_movemask_epi8(same) == 0xFFFF) continue;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(shown + i), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(shown + i + 4), high);
    }
    StreamBlocksUnchecked<N>(out, stride, low);
    StreamBlocksUnchecked<N>(out + 4 * N, stride, high);
  }
  if (shown != nullptr) std::copy(in + i, in + count, shown + i);
  for (; i + 4 <= count; i += 4, out += 4 * N) StreamBlocksUnchecked<N>(out, stride, load(in + i));
  for (; i < count; ++i, out += N)
    for (int row = 0; row < N; ++row) std::fill_n(out + row * stride, N, in[i]);
}

// Whether the visible part of a box N times the source is whole blocks whose
// rows all start on 16-byte boundaries, as a centred view on a window of an
// even width has them; the streamed bands need that.
bool StreamsWholeBands(const Surface& target, const Box& box, const Surface& source, Span cols, Span rows) {
  const int n = box.width / source.width;
  const auto start = reinterpret_cast<std::uintptr_t>(At(target, box.x + cols.lo, box.y + rows.lo));
  return n >= 2 && n <= 4 && box.width == n * source.width && box.height == n * source.height &&
         cols.lo % n == 0 && cols.hi % n == 0 && rows.lo % n == 0 && rows.hi % n == 0 && start % 16 == 0 &&
         (static_cast<std::size_t>(target.stride) * sizeof(Pixel)) % 16 == 0;
}

void PresentBandsStreamedUnchecked(const Surface& target, const Box& box, const Surface& source,
                                   const Surface* shown, Span cols, Span rows) {
  const int n = box.width / source.width;
  for (int y = rows.lo; y < rows.hi; y += n) {
    Pixel* out = At(target, box.x + cols.lo, box.y + y);
    const Pixel* in = At(source, cols.lo / n, y / n);
    Pixel* was = shown != nullptr ? At(*shown, cols.lo / n, y / n) : nullptr;
    const int count = cols.size() / n;
    if (n == 2) ExpandBandStreamedUnchecked<2>(out, target.stride, in, was, count);
    if (n == 3) ExpandBandStreamedUnchecked<3>(out, target.stride, in, was, count);
    if (n == 4) ExpandBandStreamedUnchecked<4>(out, target.stride, in, was, count);
  }
  // The streamed stores are all done before anyone reads the target.
  _mm_sfence();
}
#endif

void ExpandUnchecked(Pixel* out, const Pixel* in, int count, int n) {
  switch (n) {
    case 1: std::memcpy(out, in, static_cast<std::size_t>(count) * sizeof(Pixel)); return;
    case 2: ExpandUnchecked<2>(out, in, count); return;
    case 3: ExpandUnchecked<3>(out, in, count); return;
    case 4: ExpandUnchecked<4>(out, in, count); return;
    default:
      for (int i = 0; i < count; ++i, out += n) std::fill_n(out, n, in[i]);
      return;
  }
}

// Columns `cols` of one row of a box n times as wide as the source.  Blocks
// cut by the target's edges are written pixel by pixel, the rest whole.
void WholeScaleRowUnchecked(Pixel* out, const Pixel* in, int n, Span cols) {
  int d = cols.lo;
  for (; d % n != 0 && d < cols.hi; ++d) *out++ = in[d / n];
  const int blocks = (cols.hi - d) / n;
  ExpandUnchecked(out, in + d / n, blocks, n);
  out += static_cast<std::ptrdiff_t>(blocks) * n;
  d += blocks * n;
  for (; d < cols.hi; ++d) *out++ = in[d / n];
}

// Columns `cols` of one row of a box of any other width.
void NearestRowUnchecked(Pixel* out, const Pixel* in, int sourceWidth, int boxWidth, Span cols) {
  NearestWalk x(sourceWidth, boxWidth, cols.lo);
  for (int d = cols.lo; d < cols.hi; ++d, x.Next()) *out++ = in[x.index()];
}

// Each distinct source row is scaled once; the rows that repeat it (the
// other N - 1 rows of a block) are copies of that first one, which is still
// in the cache.
void PresentScaledUnchecked(const Surface& target, const Box& box, const Surface& source, Span cols,
                            Span rows) {
  const bool wholeWidth = box.width % source.width == 0;
  const int n = box.width / source.width;
  const std::size_t rowBytes = static_cast<std::size_t>(cols.size()) * sizeof(Pixel);
  const Pixel* made = nullptr;
  int madeFrom = -1;
  NearestWalk sy(source.height, box.height, rows.lo);
  for (int y = rows.lo; y < rows.hi; ++y, sy.Next()) {
    Pixel* out = At(target, box.x + cols.lo, box.y + y);
    if (sy.index() == madeFrom) {
      std::memcpy(out, made, rowBytes);
      continue;
    }
    const Pixel* in = At(source, 0, sy.index());
    if (wholeWidth) {
      WholeScaleRowUnchecked(out, in, n, cols);
    } else {
      NearestRowUnchecked(out, in, source.width, box.width, cols);
    }
    made = out;
    madeFrom = sy.index();
  }
}

}  // namespace

ViewFit FitView(int viewWidth, int viewHeight, int areaWidth, int areaHeight) {
  if (viewWidth <= 0 || viewHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
  const int scale = std::min(areaWidth / viewWidth, areaHeight / viewHeight);
  int width;
  int height;
  if (scale >= 1) {
    width = scale * viewWidth;  // at most areaWidth: no overflow
    height = scale * viewHeight;
  } else if (std::int64_t{areaWidth} * viewHeight <= std::int64_t{areaHeight} * viewWidth) {
    // The area is narrower than the view's shape: its width decides.
    width = areaWidth;
    height = static_cast<int>(std::int64_t{areaWidth} * viewHeight / viewWidth);
  } else {
    height = areaHeight;
    width = static_cast<int>(std::int64_t{areaHeight} * viewWidth / viewHeight);
  }
  // A sliver of an area still shows one pixel of the view rather than none.
  width = std::max(width, 1);
  height = std::max(height, 1);
  return {{(areaWidth - width) / 2, (areaHeight - height) / 2, width, height}, std::max(scale, 0)};
}

std::optional<Fill> FillRegion(Size region, Size picture) {
  if (picture.width <= 0 || picture.height <= 0 || region.width < picture.width || region.height < picture.height)
    return std::nullopt;
  Fill fill;
  fill.scale = std::min(region.width / picture.width, region.height / picture.height);
  const int n = fill.scale;
  // The picture's place in the region, then the grid of blocks through it.
  const Point at{(region.width - picture.width * n) / 2, region.height - picture.height * n};
  fill.origin = {-((n - at.x % n) % n), -((n - at.y % n) % n)};
  fill.picture = {(at.x - fill.origin.x) / n, (at.y - fill.origin.y) / n};
  fill.scene = {(region.width - fill.origin.x + n - 1) / n, (region.height - fill.origin.y + n - 1) / n};
  return fill;
}

namespace {

void PresentScaledChecked(const Surface& target, const Box& box, const Surface& source, const Surface* shown) {
  if (source.width <= 0 || source.height <= 0) return;
  const Span cols = Visible(box.x, box.width, target.width);
  const Span rows = Visible(box.y, box.height, target.height);
  if (cols.empty() || rows.empty()) return;
  assert(source.pixels != nullptr && source.stride >= source.width);
  assert(target.pixels != nullptr && target.stride >= target.width);
#if defined(__SSE2__)
  if (StreamsWholeBands(target, box, source, cols, rows)) {
    PresentBandsStreamedUnchecked(target, box, source, shown, cols, rows);
    return;
  }
#endif
  PresentScaledUnchecked(target, box, source, cols, rows);
  for (int y = 0; shown != nullptr && y < source.height; ++y)
    std::copy_n(At(source, 0, y), source.width, At(*shown, 0, y));
}

// Whether PresentScaledChanges skips unchanged pixels for this box on this
// target rather than writing the whole box.
bool SkipsUnchanged([[maybe_unused]] const Surface& target, [[maybe_unused]] const Box& box,
                    [[maybe_unused]] const Surface& source) {
#if defined(__SSE2__)
  const Span cols = Visible(box.x, box.width, target.width);
  const Span rows = Visible(box.y, box.height, target.height);
  return !cols.empty() && !rows.empty() && StreamsWholeBands(target, box, source, cols, rows);
#else
  return false;
#endif
}

}  // namespace

void PresentScaled(const Surface& target, const Box& box, const Surface& source) {
  PresentScaledChecked(target, box, source, nullptr);
}

void PresentScaledChanges(const Surface& target, const Box& box, const Surface& source, const Surface& shown) {
  assert(shown.width == source.width && shown.height == source.height && shown.pixels != nullptr);
  PresentScaledChecked(target, box, source, &shown);
}

void FillOutside(const Surface& target, const Box& box, Pixel colour) {
  // The canvas already fills boxes as fast as the C library can.
  TCanvas canvas(target);
  canvas.Pen->Color = ToColor(colour);
  canvas.Brush->Color = ToColor(colour);
  const Span cols = Visible(box.x, box.width, target.width);
  const Span rows = Visible(box.y, box.height, target.height);
  if (cols.empty() || rows.empty()) {
    canvas.Rectangle(0, 0, target.width, target.height);
    return;
  }
  const int left = box.x + cols.lo;
  const int right = box.x + cols.hi;
  const int top = box.y + rows.lo;
  const int bottom = box.y + rows.hi;
  canvas.Rectangle(0, 0, target.width, top);
  canvas.Rectangle(0, bottom, target.width, target.height);
  canvas.Rectangle(0, top, left, bottom);
  canvas.Rectangle(right, top, target.width, bottom);
}

ScaledView::ScaledView(int width, int height, Pixel background)
    : width_(width), height_(height), view_(static_cast<std::size_t>(width) * height, background) {}

Surface ScaledView::view() { return {view_.data(), width_, height_, width_}; }

void ScaledView::Fit(const Surface& target, const Box& box) {
  box_ = box;
  FillOutside(target, box_, 0);
  lastTarget_ = shownOn_ = nullptr;
  skipsUnchanged_ = SkipsUnchanged(target, box_, view());
}

void ScaledView::Show(const Surface& target) {
  if (skipsUnchanged_ && target.pixels == shownOn_) {
    PresentScaledChanges(target, box_, view(), {shown_.data(), width_, height_, width_});
    return;
  }
  // Any other target is written whole: new since Fit, or another of the
  // display's buffers holding an older frame, for which streaming the whole
  // box costs less than picking out what several frames changed.  What it
  // shows is kept, for the changes alone next time, only for a target shown
  // on twice in a row: copying it costs as much as presenting a view at 1x.
  const bool again = target.pixels == lastTarget_;
  lastTarget_ = target.pixels;
  shownOn_ = skipsUnchanged_ && again ? target.pixels : nullptr;
  if (shownOn_ != nullptr) shown_ = view_;
  PresentScaled(target, box_, view());
}

}  // namespace drawing
