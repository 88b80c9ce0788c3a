// Renders the synthesiser frame by frame as the animation feeds it.

#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "sound/events.h"
#include "sound/synthesiser.h"

namespace sound_test {

// One frame of the 800 x 533 scene landing `share` of its steady rain.
inline sound::FrameEvents Landing(double share, int strikes = 0) {
  return {1, static_cast<int>(std::lround(5 * share)), static_cast<int>(std::lround(2 * share)), 5, 2, strikes};
}

// `frames` frames of sound, each after hearing what `frame(number)` says.
inline std::vector<std::int16_t> Render(sound::Synthesiser& synthesiser, int frames,
                                        const std::function<sound::FrameEvents(int)>& frame) {
  std::vector<std::int16_t> samples(static_cast<std::size_t>(frames) * sound::kSamplesPerFrame * 2);
  for (int f = 0; f < frames; ++f) {
    synthesiser.Hear(frame(f));
    synthesiser.Render(std::span(samples).subspan(static_cast<std::size_t>(f) * sound::kSamplesPerFrame * 2,
                                                  sound::kSamplesPerFrame * 2));
  }
  return samples;
}

inline int Peak(std::span<const std::int16_t> samples) {
  int peak = 0;
  for (const std::int16_t s : samples) peak = std::max(peak, std::abs(int{s}));
  return peak;
}

// Sample frames from `seconds` on.
inline std::span<const std::int16_t> From(const std::vector<std::int16_t>& samples, double seconds) {
  return std::span(samples).subspan(static_cast<std::size_t>(seconds * sound::kSampleRate) * 2);
}

}  // namespace sound_test
