// The synthesiser without a device: when thunder comes and how it sounds by
// distance, that there is none without a strike, how loud the rain is for
// what lands, the levels of a long storm, the ceiling, muting, and that a
// seed gives the same sound.

#include "sound/synthesiser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <numbers>
#include <vector>

#include "scene/rain.h"
#include "scene/random.h"
#include "tests/sound/sound_test.h"
#include "tools/loudness/meter.h"

namespace {

using sound::FrameEvents;
using sound::kSampleRate;
using sound::Synthesiser;
using sound_test::From;
using sound_test::Landing;
using sound_test::Peak;
using sound_test::Render;

double Lufs(std::span<const std::int16_t> samples) {
  loudness::Meter meter;
  meter.Add(samples);
  return meter.Integrated();
}

// A clap heard alone: one strike on the first frame and no rain.
struct Clap {
  double onset;  // seconds after the flash
  int peak;
  double crossings;  // zero crossings per second while it is loud: how bright it is
};

Clap HearClap(std::uint64_t seed) {
  Synthesiser synthesiser(seed);
  const auto samples = Render(synthesiser, 14 * 64, [](int f) { return Landing(0, f == 0 ? 1 : 0); });
  Clap clap{-1, Peak(samples), 0};
  int crossings = 0, loud = 0;
  for (std::size_t i = 0; i < samples.size(); i += 2) {
    if (clap.onset < 0 && samples[i] != 0) clap.onset = static_cast<double>(i / 2) / kSampleRate;
    if (std::abs(samples[i]) > clap.peak / 4) {
      ++loud;
      if (i >= 2 && (samples[i] > 0) != (samples[i - 2] > 0)) ++crossings;
    }
  }
  clap.crossings = loud == 0 ? 0 : static_cast<double>(crossings) / loud * kSampleRate;
  return clap;
}

// Spearman's rank correlation of two series.
double RankCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
  const auto ranks = [](const std::vector<double>& v) {
    std::vector<double> r(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
      r[i] = static_cast<double>(std::ranges::count_if(v, [&](double x) { return x < v[i]; }));
    return r;
  };
  const auto ra = ranks(a), rb = ranks(b);
  const double n = static_cast<double>(a.size());
  double d2 = 0;
  for (std::size_t i = 0; i < a.size(); ++i) d2 += (ra[i] - rb[i]) * (ra[i] - rb[i]);
  return 1 - 6 * d2 / (n * (n * n - 1));
}

TEST(Thunder, FollowsItsFlashAfterOneToNineSecondsNearerSoonerLouderAndBrighter) {
  std::vector<double> onsets, peaks, brightness;
  for (std::uint64_t seed = 1; seed <= 24; ++seed) {
    const Clap clap = HearClap(seed);
    EXPECT_GE(clap.onset, 1.0) << "seed " << seed;
    EXPECT_LE(clap.onset, 9.0) << "seed " << seed;
    onsets.push_back(clap.onset);
    peaks.push_back(clap.peak);
    brightness.push_back(clap.crossings);
  }
  // The delays spread over the window rather than sitting in one place.
  EXPECT_LT(*std::ranges::min_element(onsets), 3.0);
  EXPECT_GT(*std::ranges::max_element(onsets), 7.0);
  EXPECT_LT(RankCorrelation(onsets, peaks), -0.6);
  EXPECT_LT(RankCorrelation(onsets, brightness), -0.6);
}

// Without rain, silence is exact; a strike heard with thunder off, or no
// strike at all, leaves it so.
TEST(Thunder, NoneWithoutAStrikeOrWithThunderOff) {
  struct Case {
    bool thunder;
    int strikes;
    bool heard;
  };
  for (const auto [thunder, strikes, heard] : {Case{true, 0, false}, Case{false, 3, false}, Case{true, 1, true}}) {
    Synthesiser synthesiser(5, {sound::kDefaultVolume, thunder});
    const auto samples = Render(synthesiser, 12 * 64, [&](int f) { return Landing(0, f == 0 ? strikes : 0); });
    EXPECT_EQ(Peak(samples) > 0, heard) << "thunder " << thunder << ", strikes " << strikes;
  }
}

double RainLufs(double share, int scale = 1, std::uint64_t seed = 3) {
  Synthesiser synthesiser(seed, {sound::kDefaultVolume, false});
  const auto samples = Render(synthesiser, 8 * 64, [&](int) {
    FrameEvents e = Landing(share);
    e.nearLanded *= scale, e.farLanded *= scale, e.steadyNear *= scale, e.steadyFar *= scale;
    return e;
  });
  return Lufs(From(samples, 2));
}

TEST(Rain, IsLouderTheMoreLandsAndAsLoudInAWindowAsOnScreensTwiceOrSixTimesAsLarge) {
  const double half = RainLufs(0.5), steady = RainLufs(1), twice = RainLufs(2);
  EXPECT_GT(steady, half + 1.5);
  EXPECT_GT(twice, steady + 1.5);
  for (const int scale : {2, 6}) EXPECT_NEAR(RainLufs(1, scale), steady, 0.5) << scale << " times the window";
}

// A scene that is steady at once (made after the window showed) still
// swells in, over about a second.
TEST(Rain, SwellsInOverTheFirstSecond) {
  Synthesiser synthesiser(4, {sound::kDefaultVolume, false});
  const auto samples = Render(synthesiser, 3 * 64, [](int) { return Landing(1); });
  const auto rms = [&](double from, double to) {
    double sum = 0;
    const auto first = static_cast<std::size_t>(from * kSampleRate) * 2, last = static_cast<std::size_t>(to * kSampleRate) * 2;
    for (std::size_t i = first; i < last; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(last - first));
  };
  EXPECT_LT(rms(0, 0.1), rms(2, 3) / 3);
  EXPECT_LT(rms(0.2, 0.4), rms(0.6, 0.8));
  EXPECT_GT(rms(1.0, 1.2), rms(2, 3) * 0.7);
}

// The share of the rain's energy between 0.5 and 5 kHz, from the spectrum
// of 2^16 samples of its left side.
double ShareInBand(std::span<const std::int16_t> samples) {
  constexpr std::size_t n = 1 << 16;
  std::vector<std::complex<double>> x(n);
  for (std::size_t i = 0; i < n; ++i) x[i] = samples[2 * i];
  // In-place radix-2 FFT.
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(len));
    for (std::size_t i = 0; i < n; i += len) {
      std::complex<double> t = 1;
      for (std::size_t k = 0; k < len / 2; ++k, t *= w) {
        const auto u = x[i + k], v = x[i + k + len / 2] * t;
        x[i + k] = u + v;
        x[i + k + len / 2] = u - v;
      }
    }
  }
  double in = 0, all = 0;
  for (std::size_t k = 1; k < n / 2; ++k) {
    const double hz = static_cast<double>(k) * kSampleRate / n, energy = std::norm(x[k]);
    all += energy;
    if (hz >= 500 && hz <= 5000) in += energy;
  }
  return in / all;
}

TEST(Rain, IsDarkishWithItsEnergyMostlyBetweenHalfAKilohertzAndFive) {
  Synthesiser synthesiser(6, {sound::kDefaultVolume, false});
  const auto samples = Render(synthesiser, 4 * 64, [](int) { return Landing(1); });
  EXPECT_GT(ShareInBand(From(samples, 2)), 0.75);
}

// What the real scene lands, two minutes of it.
std::vector<std::int16_t> Storm(std::uint32_t seed, sound::Settings settings) {
  scene::SeedRandom(seed);
  Rain rain;
  TCanvas nowhere;
  TBitmap picture;
  Synthesiser synthesiser(seed, settings);
  return Render(synthesiser, 120 * 64, [&](int) {
    rain.NextFrame(&nowhere, &picture);
    return sound::EventsOf(rain);
  });
}

TEST(Levels, ATwoMinuteStormAtTheDefaultVolumeMeasuresMinus29ToMinus23LufsTheRainAloneAFewLuBelow) {
  for (const std::uint32_t seed : {1u, 2u, 3u}) {
    const double storm = Lufs(Storm(seed, {}));
    const double rain = Lufs(Storm(seed, {sound::kDefaultVolume, false}));
    EXPECT_GE(storm, -29.0) << "seed " << seed;
    EXPECT_LE(storm, -23.0) << "seed " << seed;
    EXPECT_GE(storm - rain, 1.5) << "seed " << seed;
    EXPECT_LE(storm - rain, 6.0) << "seed " << seed;
  }
}

// -1 dBFS is 29204; full scale is never reached, however loud it is asked.
TEST(Levels, NoSamplePassesMinusOneDbfsAtAnyVolumeInTheLoudestStorm) {
  for (const int volume : {1, 50, 100}) {
    Synthesiser synthesiser(8, {volume, true});
    const auto samples = Render(synthesiser, 40 * 64, [](int f) { return Landing(2, f % 64 == 0 ? 1 : 0); });
    EXPECT_LE(Peak(samples), 29204) << "volume " << volume;
    if (volume == 100) {
      EXPECT_GT(Peak(samples), 20000) << "the loudest storm should come near the ceiling";
    }
  }
}

TEST(Muting, RampsDownWithin20MsThenGivesExactZerosAndComesBack) {
  Synthesiser synthesiser(2);
  Render(synthesiser, 2 * 64, [](int f) { return Landing(1, f == 0); });
  synthesiser.SetMuted(true);
  const auto muted = Render(synthesiser, 10 * 64, [](int) { return Landing(1, 1); });
  EXPECT_GT(Peak(std::span(muted).first(200)), 0) << "cut off rather than ramped";
  EXPECT_EQ(Peak(From(muted, 0.021)), 0);
  EXPECT_TRUE(synthesiser.Silent());
  synthesiser.SetMuted(false);
  EXPECT_FALSE(synthesiser.Silent());
  EXPECT_GT(Peak(Render(synthesiser, 64, [](int) { return Landing(1); })), 0);
}

// Unseen, the animation stops and says nothing: the rain sounds on as it
// was, and thunder comes at the scene's rate of strikes (about one in 3 s).
TEST(Unseen, TheRainSoundsOnAndThunderStillComes) {
  const auto unseen = [](bool thunder) {
    Synthesiser synthesiser(7, {sound::kDefaultVolume, thunder});
    const auto seen = Render(synthesiser, 4 * 64, [](int) { return Landing(1); });
    const auto alone = Render(synthesiser, 60 * 64, [](int) { return FrameEvents{}; });
    return std::pair(Lufs(From(seen, 2)), Lufs(alone));
  };
  const auto [rainSeen, rainUnseen] = unseen(false);
  EXPECT_NEAR(rainUnseen, rainSeen, 1.0);
  const auto [stormSeen, stormUnseen] = unseen(true);
  EXPECT_GT(stormUnseen, rainUnseen + 1.5) << "no thunder while unseen";
  (void)stormSeen;
}

TEST(Volume, GlidesToTheNewLevelHeldToOneToAHundred) {
  struct Case {
    int asked, held;
  };
  for (const auto [asked, held] : {Case{0, 1}, Case{-5, 1}, Case{101, 100}, Case{60, 60}}) {
    Synthesiser synthesiser(1, {asked, true});
    EXPECT_EQ(synthesiser.volume(), held);
    synthesiser.SetVolume(asked);
    EXPECT_EQ(synthesiser.volume(), held);
  }
  // Ten steps down is quieter, and not by a jump in one sample.
  Synthesiser synthesiser(1, {50, false});
  const auto before = Render(synthesiser, 3 * 64, [](int) { return Landing(1); });
  synthesiser.SetVolume(40);
  const auto after = Render(synthesiser, 64, [](int) { return Landing(1); });
  EXPECT_LT(Lufs(From(after, 0.5)), Lufs(From(before, 2.5)) - 1.0);
}

TEST(Determinism, TheSameSeedAndEventsGiveTheSameSoundAnotherSeedAnother) {
  const auto storm = [](std::uint64_t seed) {
    Synthesiser synthesiser(seed);
    return Render(synthesiser, 6 * 64, [](int f) { return Landing(1 + (f % 7) / 10.0, f == 10); });
  };
  EXPECT_EQ(storm(11), storm(11));
  EXPECT_NE(storm(11), storm(12));
}

}  // namespace
