#include "frames_options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <string_view>

namespace {

// Plain decimal digits only: std::from_chars on an unsigned type takes no
// sign and no spaces, and the whole text must be used, so "7x", " 7", "-1"
// and "+1" are all refused, as is anything beyond `max`.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min,
                                         std::uint64_t max) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

std::string RangeError(std::string_view option, std::string_view value, std::uint64_t min,
                       std::uint64_t max) {
  return std::string(option) + " wants a whole number from " + std::to_string(min) + " to " +
         std::to_string(max) + ", not '" + std::string(value) + "'";
}

struct Seen {
  bool seed = false;
  bool frames = false;
  bool every = false;
  bool out = false;
  bool trace = false;
  bool picture = false;
  bool format = false;
};

ParsedCommandLine Failure(std::string message) {
  ParsedCommandLine result;
  result.action = ParsedCommandLine::Action::UsageError;
  result.error = std::move(message);
  return result;
}

}  // namespace

ParsedCommandLine ParseFramesCommandLine(std::span<const std::string> args) {
  // --help wins wherever it stands, so a user who is unsure can always ask.
  if (std::find(args.begin(), args.end(), "--help") != args.end()) {
    ParsedCommandLine result;
    result.action = ParsedCommandLine::Action::Help;
    return result;
  }

  FramesOptions options;
  Seen seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (!arg.starts_with("--")) {
      return Failure("unexpected argument '" + std::string(arg) + "'");
    }

    // Both "--seed 7" and "--seed=7" are accepted.
    std::string_view name = arg;
    std::optional<std::string> value;
    if (auto equals = arg.find('='); equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = std::string(arg.substr(equals + 1));
    }

    bool* seenFlag = nullptr;
    if (name == "--seed") {
      seenFlag = &seen.seed;
    } else if (name == "--frames") {
      seenFlag = &seen.frames;
    } else if (name == "--every") {
      seenFlag = &seen.every;
    } else if (name == "--out") {
      seenFlag = &seen.out;
    } else if (name == "--trace") {
      seenFlag = &seen.trace;
    } else if (name == "--picture") {
      seenFlag = &seen.picture;
    } else if (name == "--format") {
      seenFlag = &seen.format;
    } else {
      return Failure("unknown option '" + std::string(name) + "'");
    }
    if (*seenFlag) {
      return Failure(std::string(name) + " given twice");
    }
    *seenFlag = true;

    // A following option is not taken for a value: "--out --frames 3" is
    // far more likely a forgotten folder than a folder named "--frames".
    if (!value) {
      if (i + 1 >= args.size() || std::string_view(args[i + 1]).starts_with("--")) {
        return Failure(std::string(name) + " needs a value");
      }
      value = args[++i];
    }
    if (value->empty()) {
      return Failure(std::string(name) + " needs a value");
    }

    if (name == "--seed") {
      constexpr std::uint64_t max = std::numeric_limits<std::uint32_t>::max();
      auto number = ParseNumber(*value, 0, max);
      if (!number) return Failure(RangeError(name, *value, 0, max));
      options.seed = static_cast<std::uint32_t>(*number);
    } else if (name == "--frames") {
      auto number = ParseNumber(*value, 1, MaxFrames);
      if (!number) return Failure(RangeError(name, *value, 1, MaxFrames));
      options.frames = static_cast<int>(*number);
    } else if (name == "--every") {
      constexpr std::uint64_t max = std::numeric_limits<std::uint32_t>::max();
      auto number = ParseNumber(*value, 1, max);
      if (!number) return Failure(RangeError(name, *value, 1, max));
      options.every = static_cast<std::uint32_t>(*number);
    } else if (name == "--out") {
      options.outDir = *value;
    } else if (name == "--trace") {
      options.tracePath = *value;
    } else if (name == "--picture") {
      options.picturePath = *value;
    } else if (name == "--format") {
      if (*value == "ppm") {
        options.format = FrameFormat::Ppm;
      } else if (*value == "png") {
        options.format = FrameFormat::Png;
      } else {
        return Failure("--format wants ppm or png, not '" + *value + "'");
      }
    }
  }

  std::string missing;
  for (auto [given, name] : {std::pair{seen.seed, "--seed"}, std::pair{seen.frames, "--frames"},
                             std::pair{seen.out, "--out"}}) {
    if (!given) missing += missing.empty() ? name : std::string(", ") + name;
  }
  if (!missing.empty()) {
    return Failure("missing " + missing);
  }

  ParsedCommandLine result;
  result.action = ParsedCommandLine::Action::Run;
  result.options = std::move(options);
  return result;
}

const char* FramesUsage() {
  return R"(Usage: rain-frames --seed S --frames N --out DIR [options]

Paints N successive frames of the rain scene (800 x 533) without a window,
exactly as the window paints them, and writes them as image files.

  --seed S          seed of the random source, 0 ... 4294967295
  --frames N        number of frames to paint, 1 ... 999999
  --out DIR         folder for the frames; created, with any missing
                    parent folders, if it does not exist
  --every K         write only every K-th frame (default 1); the last
                    frame is always written
  --trace FILE      write every random draw in call order, one line
                    "bound result" each
  --picture FILE    paint this BMP file (any size) as the picture; its
                    lower-left pixel is its transparent colour
                    (default: the project's picture)
  --format ppm|png  format of the frame files (default ppm: binary P6)
  --help            show this text and exit

Frame N is written as DIR/frame-NNNNNN.ppm (or .png), numbered from 1.
Existing files of the same name are replaced.

Exit status: 0 success, 1 failure (picture, output folder, frame or
trace file), 2 bad arguments.  Every failure is one line on stderr.
)";
}

bool IsFrameWritten(int frame, const FramesOptions& options) {
  return frame == options.frames || static_cast<std::uint32_t>(frame) % options.every == 0;
}

std::string FrameFileName(int frame, FrameFormat format) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%06d.%s", frame,
                format == FrameFormat::Png ? "png" : "ppm");
  return name;
}
