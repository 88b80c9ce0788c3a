// rain-scale-bench: what showing a 784 x 495 frame at 2x and 3x costs,
// against memcpy of the same number of target bytes, and against filling
// them with one value (writing without reading: the floor of any present).
//
// Every measurement runs as many short repetitions in random interleaved
// order and the table compares medians of CPU time, so that a busy machine
// slows all of them alike and the ratios hold.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "drawing/scale.h"

namespace {

using drawing::Pixel;

constexpr int kViewWidth = 784;
constexpr int kViewHeight = 495;

// A target surface at one scale, with as many bytes of plain source for the
// memcpy it is compared with.
struct Scaled {
  int scale;
  std::vector<Pixel> target;
  std::vector<Pixel> plain;
  drawing::Surface surface() { return {target.data(), kViewWidth * scale, kViewHeight * scale, kViewWidth * scale}; }
};

std::vector<Pixel> frame;
Scaled scaled[] = {{2, {}, {}}, {3, {}, {}}};

drawing::Surface FrameSurface() { return {frame.data(), kViewWidth, kViewHeight, kViewWidth}; }

void Present(benchmark::State& state, Scaled* s) {
  const drawing::Surface target = s->surface();
  for (auto _ : state) {
    drawing::PresentScaled(target, {0, 0, target.width, target.height}, FrameSurface());
    benchmark::ClobberMemory();
  }
}

void Memcpy(benchmark::State& state, Scaled* s) {
  for (auto _ : state) {
    std::memcpy(s->target.data(), s->plain.data(), s->plain.size() * sizeof(Pixel));
    benchmark::ClobberMemory();
  }
}

// Writing the same bytes without reading anything: the floor under both.
void Fill(benchmark::State& state, Scaled* s) {
  static_assert(sizeof(wchar_t) == sizeof(Pixel));
  wchar_t value = 0x00102030;
  for (auto _ : state) {
    std::wmemset(reinterpret_cast<wchar_t*>(s->target.data()), value, s->target.size());
    benchmark::ClobberMemory();
    value ^= 0x00010101;
  }
}

// Fills the buffers and checks that the present is exact, or its timing
// would mean nothing.
bool Prepare() {
  frame.resize(static_cast<std::size_t>(kViewWidth) * kViewHeight);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<Pixel>(i * 2654435761u) & 0xFFFFFFu;
  for (Scaled& s : scaled) {
    const std::size_t size = static_cast<std::size_t>(kViewWidth) * kViewHeight * s.scale * s.scale;
    s.target.assign(size, 0);
    s.plain.assign(size, 0x00102030);
    const drawing::Surface target = s.surface();
    drawing::PresentScaled(target, {0, 0, target.width, target.height}, FrameSurface());
    for (int y = 0; y < target.height; ++y) {
      for (int x = 0; x < target.width; ++x) {
        if (target.pixels[static_cast<std::size_t>(y) * target.stride + x] !=
            frame[static_cast<std::size_t>(y / s.scale) * kViewWidth + x / s.scale]) {
          std::fprintf(stderr, "rain-scale-bench: the %dx present is wrong at (%d, %d)\n", s.scale, x, y);
          return false;
        }
      }
    }
  }
  return true;
}

class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // A single repetition has no median: its own time stands in.
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Iteration) {
        medians_.try_emplace(run.run_name.function_name, run.GetAdjustedCPUTime());
      }
    }
  }

  void PrintTable() const {
    std::printf("\nMedians of CPU time per frame, microseconds; the last column is the present's\n"
                "share of one core at 64 frames a second\n");
    std::printf("  %-6s %10s %10s %8s %10s %8s %12s\n", "scale", "present", "memcpy", "ratio", "fill", "ratio",
                "core @ 64/s");
    for (const Scaled& s : scaled) {
      const std::string suffix = std::to_string(s.scale) + "x";
      const double present = Median("Present" + suffix);
      const double copy = Median("Memcpy" + suffix);
      const double fill = Median("Fill" + suffix);
      std::printf("  %-6d %10.1f %10.1f %8.2f %10.1f %8.2f %11.1f%%\n", s.scale, present, copy,
                  copy > 0 ? present / copy : 0.0, fill, fill > 0 ? present / fill : 0.0, present * 64 / 1e4);
    }
  }

 private:
  double Median(const std::string& name) const {
    const auto it = medians_.find(name);
    return it == medians_.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> medians_;
};

bool HasFlag(const std::vector<char*>& args, const char* prefix) {
  return std::any_of(args.begin(), args.end(),
                     [prefix](const char* a) { return std::strncmp(a, prefix, std::strlen(prefix)) == 0; });
}

}  // namespace

int main(int argc, char** argv) {
  // Defaults that make the ratios stable; any of them can be overridden.
  std::vector<char*> args(argv, argv + argc);
  static char repetitions[] = "--benchmark_repetitions=21";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static char aggregatesOnly[] = "--benchmark_display_aggregates_only=true";
  static char minTime[] = "--benchmark_min_time=0.05";
  if (!HasFlag(args, "--benchmark_repetitions")) args.push_back(repetitions);
  if (!HasFlag(args, "--benchmark_enable_random_interleaving")) args.push_back(interleave);
  if (!HasFlag(args, "--benchmark_display_aggregates_only")) args.push_back(aggregatesOnly);
  if (!HasFlag(args, "--benchmark_min_time")) args.push_back(minTime);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (count > 1) {
    std::fprintf(stderr, "rain-scale-bench: unknown argument '%s' (try --help)\n", args[1]);
    return 2;
  }
  if (!Prepare()) return 1;

  for (Scaled& s : scaled) {
    const std::string suffix = std::to_string(s.scale) + "x";
    benchmark::RegisterBenchmark(("Present" + suffix).c_str(), Present, &s)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Memcpy" + suffix).c_str(), Memcpy, &s)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Fill" + suffix).c_str(), Fill, &s)->Unit(benchmark::kMicrosecond);
  }
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.PrintTable();
  std::printf("\nPresent path: %s\n",
#if defined(__SSE2__)
              "SSE2 shuffles for 2x to 4x, rows repeated with memcpy"
#else
              "portable loops, rows repeated with memcpy"
#endif
  );
  return 0;
}
