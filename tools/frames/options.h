// Command line of rain-frames, kept apart from the painting so that every
// accepted and rejected argument can be tested without running the tool.

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "drawing/geometry.h"

namespace tools {

enum class FrameFormat { Ppm, Png };

// Frame numbers are written with six digits; more frames would break the
// order of the file names.
constexpr int MaxFrames = 999999;

// --size: each side at most this, and the frame at most MaxFramePixels, so
// that a frame, its view and its encoding fit in well under 1 GB.
constexpr int MaxFrameSide = 16384;
constexpr std::uint64_t MaxFramePixels = std::uint64_t{8192} * 4096;  // 8K UHD fits

struct FramesOptions {
  std::uint32_t seed = 0;
  int frames = 0;
  std::uint32_t every = 1;
  std::string outDir;
  std::optional<std::string> tracePath;
  std::optional<std::string> picturePath;  // empty: the project's picture
  FrameFormat format = FrameFormat::Ppm;
  bool lightning = true;  // --no-lightning: the same rain, never a flash
  // --size: frames of this size, the rain filling them around the picture;
  // none: the 800 x 533 scene itself.
  std::optional<drawing::Size> size;
  // --sound: the rain's sound as a WAV file, 750 sample frames per frame.
  std::optional<std::string> soundPath;
  int volume = 50;       // --volume, 1 ... 100
  bool thunder = true;   // --no-thunder: strikes are seen, not heard
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
