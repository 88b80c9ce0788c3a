// The loudness meter the sound's levels are measured with, against what
// BS.1770 fixes: a 997 Hz tone in both channels measures its level in dBFS,
// silence is gated out absolutely, and quiet passages relatively.

#include "tools/loudness/meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

std::vector<std::int16_t> Tone(double dbfs, double seconds) {
  std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * 48000) * 2);
  const double amplitude = 32767 * std::pow(10, dbfs / 20);
  for (std::size_t i = 0; i < samples.size() / 2; ++i)
    samples[2 * i] = samples[2 * i + 1] =
        static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * 997 * i / 48000.0)));
  return samples;
}

TEST(LoudnessMeter, MeasuresATonesLevelAndGatesSilenceAndQuietPassagesOut) {
  struct Case {
    std::vector<std::vector<std::int16_t>> parts;
    double lufs;
  };
  const Case cases[] = {
      {{Tone(-20, 10)}, -20.0},
      {{Tone(-20, 10), Tone(-200, 10)}, -20.0},  // silence: below the absolute gate
      {{Tone(-20, 10), Tone(-40, 10)}, -20.0},   // 20 LU below: below the relative gate
      {{Tone(-20, 10), Tone(-26, 10)}, -22.0},   // within it: both count
  };
  for (const Case& c : cases) {
    loudness::Meter meter;
    for (const auto& part : c.parts) meter.Add(part);
    EXPECT_NEAR(meter.Integrated(), c.lufs, 0.1) << c.parts.size() << " parts";
  }
  loudness::Meter peak;
  peak.Add(Tone(-6, 1));
  EXPECT_NEAR(peak.PeakDbfs(), -6.0, 0.01);
}

}  // namespace
