// rain-sound-bench: what the synthesis costs, per frame of the animation and
// as a share of one core, with and without thunder; then the levels of a
// two-minute storm and the delays of its thunder, measured as the tests
// measure them.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "scene/rain.h"
#include "scene/random.h"
#include "sound/events.h"
#include "sound/synthesiser.h"
#include "tools/loudness/meter.h"

namespace {

constexpr int kSecond = sound::kFramesPerSecond;

// A storm's events, frame by frame, from the real scene: made once, so the
// measurement holds the synthesis alone.
std::vector<sound::FrameEvents> StormEvents(std::uint32_t seed, int frames) {
  scene::SeedRandom(seed);
  Rain rain;
  TCanvas nowhere;
  TBitmap picture;
  std::vector<sound::FrameEvents> events;
  for (int i = 0; i < frames; ++i) {
    rain.NextFrame(&nowhere, &picture);
    events.push_back(sound::EventsOf(rain));
  }
  return events;
}

const std::vector<sound::FrameEvents>& Storm() {
  static const std::vector<sound::FrameEvents> storm = StormEvents(1, 120 * kSecond);
  return storm;
}

// One animation frame's sound (750 sample frames) per iteration: its share
// of one core is its time over the frame's 15,625 us.
void SynthesiseFrame(benchmark::State& state, bool thunder, bool muted) {
  sound::Synthesiser synthesiser(1, {sound::kDefaultVolume, thunder});
  synthesiser.SetMuted(muted);
  std::array<std::int16_t, sound::kSamplesPerFrame * 2> samples{};
  std::size_t frame = 0;
  for (auto _ : state) {
    synthesiser.Hear(Storm()[frame++ % Storm().size()]);
    synthesiser.Render(samples);
    benchmark::DoNotOptimize(samples.data());
  }
}

struct Levels {
  double lufs, peak;
};

Levels Measure(sound::Settings settings) {
  sound::Synthesiser synthesiser(1, settings);
  loudness::Meter meter;
  std::array<std::int16_t, sound::kSamplesPerFrame * 2> samples{};
  for (const sound::FrameEvents& events : Storm()) {
    synthesiser.Hear(events);
    synthesiser.Render(samples);
    meter.Add(samples);
  }
  return {meter.Integrated(), meter.PeakDbfs()};
}

// When each of `strikes` claps, heard alone, begins after its flash.
std::vector<double> ThunderDelays(int strikes) {
  std::vector<double> delays;
  std::array<std::int16_t, sound::kSamplesPerFrame * 2> samples{};
  for (int seed = 1; seed <= strikes; ++seed) {
    sound::Synthesiser synthesiser(static_cast<std::uint64_t>(seed));
    for (int frame = 0; frame < 10 * kSecond && delays.size() < static_cast<std::size_t>(seed); ++frame) {
      synthesiser.Hear({1, 0, 0, 5, 2, frame == 0 ? 1 : 0});
      synthesiser.Render(samples);
      const auto loud = std::ranges::find_if(samples, [](std::int16_t s) { return s != 0; });
      if (loud != samples.end())
        delays.push_back((frame * sound::kSamplesPerFrame + (loud - samples.begin()) / 2) / double{sound::kSampleRate});
    }
  }
  std::ranges::sort(delays);
  return delays;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  benchmark::RegisterBenchmark("SynthesiseFrame/storm", SynthesiseFrame, true, false)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("SynthesiseFrame/rain", SynthesiseFrame, false, false)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("SynthesiseFrame/muted", SynthesiseFrame, true, true)->Unit(benchmark::kMicrosecond);
  struct ShareReporter : benchmark::ConsoleReporter {
    void ReportRuns(const std::vector<Run>& runs) override {
      ConsoleReporter::ReportRuns(runs);
      for (const Run& run : runs) {
        if (!run.aggregate_name.empty() && run.aggregate_name != "median") continue;
        const double seconds = run.GetAdjustedCPUTime() / 1e6;  // the unit is microseconds
        std::printf("  %s: %.3f %% of one core\n", run.benchmark_name().c_str(), seconds * kSecond * 100);
      }
    }
  } reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::puts("\nTwo minutes of the window's storm (seed 1):");
  const std::pair<const char*, sound::Settings> cases[] = {{"storm, volume 50", {}},
                                                           {"rain alone, volume 50", {50, false}},
                                                           {"storm, volume 100", {100, true}},
                                                           {"storm, volume 1", {1, true}}};
  for (const auto& [what, settings] : cases) {
    const Levels levels = Measure(settings);
    std::printf("  %-24s %6.1f LUFS integrated, peak %6.2f dBFS\n", what, levels.lufs, levels.peak);
  }
  const std::vector<double> delays = ThunderDelays(200);
  std::printf("Thunder after its flash, 200 strikes: %.2f s shortest, %.2f s median, %.2f s longest\n",
              delays.front(), delays[delays.size() / 2], delays.back());
  return 0;
}
