// Command line of rain-frames, kept apart from the painting so that every
// accepted and rejected argument can be tested without running the tool.

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tools {

enum class FrameFormat { Ppm, Png };

// Frame numbers are written with six digits; more frames would break the
// order of the file names.
constexpr int MaxFrames = 999999;

struct FramesOptions {
  std::uint32_t seed = 0;
  int frames = 0;
  std::uint32_t every = 1;
  std::string outDir;
  std::optional<std::string> tracePath;
  std::optional<std::string> picturePath;  // empty: the project's picture
  FrameFormat format = FrameFormat::Ppm;
  bool lightning = true;  // --no-lightning: the same rain, never a flash
};

struct ParsedCommandLine {
  enum class Action { Run, Help, UsageError };
  Action action = Action::UsageError;
  FramesOptions options;  // meaningful for Run only
  std::string error;      // for UsageError: one line, no program name
};

// `args` are the arguments after the program name.
ParsedCommandLine ParseFramesCommandLine(std::span<const std::string> args);

// The text --help prints.
const char* FramesUsage();

// Every K-th frame is written, and always the last one.
bool IsFrameWritten(int frame, const FramesOptions& options);

// "frame-000042.ppm" for frame 42.
std::string FrameFileName(int frame, FrameFormat format);

// The frame whose file this run writes under `name` (a file name, no
// folder), if any: the inverse of FrameFileName, limited to the frames
// IsFrameWritten selects.
std::optional<int> FrameWrittenAs(std::string_view name, const FramesOptions& options);

}  // namespace tools
