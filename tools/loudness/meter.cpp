#include "tools/loudness/meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace loudness {

namespace {

constexpr int kSegment = 4800;  // 100 ms at 48 kHz
constexpr int kSegmentsPerBlock = 4;

double Loudness(double meanSquare) { return -0.691 + 10 * std::log10(meanSquare); }

}  // namespace

double Meter::Stage::operator()(double x) {
  const double y = b0 * x + z1;
  z1 = b1 * x - a1 * y + z2;
  z2 = b2 * x - a2 * y;
  return y;
}

void Meter::Add(std::span<const std::int16_t> stereo) {
  for (std::size_t i = 0; i + 1 < stereo.size(); i += 2) {
    for (int side = 0; side < 2; ++side) {
      const int sample = stereo[i + side];
      peak_ = std::max(peak_, std::abs(sample));
      const double y = highPass_[side](shelf_[side](sample / 32768.0));
      current_ += y * y;
    }
    if (++inCurrent_ == kSegment) {
      segments_.push_back(current_);
      current_ = 0;
      inCurrent_ = 0;
    }
  }
}

double Meter::Integrated() const {
  std::vector<double> blocks;  // mean squares, summed over the channels
  for (std::size_t end = kSegmentsPerBlock; end <= segments_.size(); ++end) {
    double sum = 0;
    for (std::size_t s = end - kSegmentsPerBlock; s < end; ++s) sum += segments_[s];
    blocks.push_back(sum / (kSegment * kSegmentsPerBlock));
  }
  const auto gatedMean = [&blocks](double gate) {
    double sum = 0;
    int count = 0;
    for (const double block : blocks) {
      if (Loudness(block) > gate) sum += block, ++count;
    }
    return count == 0 ? 0.0 : sum / count;
  };
  const double absolute = gatedMean(-70);
  if (absolute == 0) return -std::numeric_limits<double>::infinity();
  const double relative = gatedMean(std::max(-70.0, Loudness(absolute) - 10));
  return Loudness(relative);
}

double Meter::PeakDbfs() const { return 20 * std::log10(peak_ / 32767.0); }

}  // namespace loudness
