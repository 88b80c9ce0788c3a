#include "tools/frames/options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <limits>
#include <set>
#include <string_view>
#include <type_traits>

#include "drawing/exception.h"

namespace tools {

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
         std::to_string(max) + ", not " + Quoted(value);
}

// "WxH": both sides plain numbers from 1 to MaxFrameSide, and not more than
// MaxFramePixels in all.
std::optional<drawing::Size> ParseSize(std::string_view text) {
  const auto x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  const auto width = ParseNumber(text.substr(0, x), 1, MaxFrameSide);
  const auto height = ParseNumber(text.substr(x + 1), 1, MaxFrameSide);
  if (!width || !height || *width * *height > MaxFramePixels) return std::nullopt;
  return drawing::Size{static_cast<int>(*width), static_cast<int>(*height)};
}

// An option either takes a value or is a flag that stands alone.
struct Option {
  std::string_view name;
  bool takesValue;
};
constexpr Option Options[] = {
    {"--seed", true},  {"--frames", true},  {"--out", true},    {"--every", true},
    {"--trace", true}, {"--picture", true}, {"--format", true}, {"--no-lightning", false}, {"--size", true},
    {"--sound", true}, {"--volume", true}, {"--no-thunder", false},
};
// These must be given.
constexpr std::string_view Required[] = {"--seed", "--frames", "--out"};

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
  std::set<std::string_view> seen;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (!arg.starts_with("--")) {
      return Failure("unexpected argument " + Quoted(arg));
    }

    // Both "--seed 7" and "--seed=7" are accepted.
    std::string_view name = arg;
    std::optional<std::string> value;
    if (auto equals = arg.find('='); equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = std::string(arg.substr(equals + 1));
    }

    const auto option = std::ranges::find(Options, name, &Option::name);
    if (option == std::end(Options)) {
      return Failure("unknown option " + Quoted(name));
    }
    if (!seen.insert(name).second) {
      return Failure(std::string(name) + " given twice");
    }
    if (!option->takesValue) {
      if (value) return Failure(std::string(name) + " takes no value");
      if (name == "--no-lightning") options.lightning = false;
      if (name == "--no-thunder") options.thunder = false;
      continue;
    }

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

    // A number option within its range, or the error that says the range.
    const auto readNumber = [&](std::uint64_t min, std::uint64_t max, auto& target) {
      const auto number = ParseNumber(*value, min, max);
      if (!number) return RangeError(name, *value, min, max);
      target = static_cast<std::remove_reference_t<decltype(target)>>(*number);
      return std::string();
    };
    constexpr std::uint64_t max32 = std::numeric_limits<std::uint32_t>::max();
    std::string error;
    if (name == "--seed") {
      error = readNumber(0, max32, options.seed);
    } else if (name == "--frames") {
      error = readNumber(1, MaxFrames, options.frames);
    } else if (name == "--every") {
      error = readNumber(1, max32, options.every);
    } else if (name == "--out") {
      options.outDir = *value;
    } else if (name == "--trace") {
      options.tracePath = *value;
    } else if (name == "--picture") {
      options.picturePath = *value;
    } else if (name == "--sound") {
      options.soundPath = *value;
    } else if (name == "--volume") {
      error = readNumber(1, 100, options.volume);
    } else if (name == "--size") {
      options.size = ParseSize(*value);
      if (!options.size) {
        error = "--size wants WIDTHxHEIGHT, each from 1 to " + std::to_string(MaxFrameSide) + " and at most " +
                std::to_string(MaxFramePixels) + " pixels in all, not " + Quoted(*value);
      }
    } else if (*value == "ppm" || *value == "png") {
      options.format = *value == "png" ? FrameFormat::Png : FrameFormat::Ppm;
    } else {
      error = "--format wants ppm or png, not " + Quoted(*value);
    }
    if (!error.empty()) return Failure(error);
  }

  std::string missing;
  for (std::string_view name : Required) {
    if (!seen.contains(name)) missing += (missing.empty() ? "" : ", ") + std::string(name);
  }
  if (!missing.empty()) {
    return Failure("missing " + missing);
  }

  // Without a sound file they would change nothing, which is more likely a
  // slip than a wish.
  for (std::string_view name : {"--volume", "--no-thunder"}) {
    if (seen.contains(name) && !options.soundPath) return Failure(std::string(name) + " needs --sound FILE");
  }

  ParsedCommandLine result;
  result.action = ParsedCommandLine::Action::Run;
  result.options = std::move(options);
  return result;
}

const char* FramesUsage() {
  return R"(Usage: rain-frames --seed S --frames N --out DIR [options]

Paints N successive frames of the rain scene (800 x 533) without a window,
exactly as the window paints them, and writes them as image files; or,
with --size, frames of any size, as a screen of that size shows the rain.

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
  --no-lightning    no lightning strikes: the sky stays dark, and the rain
                    is the same as with lightning for the same seed
  --size WxH        frames of W x H pixels (each side 1 ... 16384, at most
                    33554432 pixels): at least as large as the picture,
                    the picture stands at the bottom, centred, at the
                    largest whole scale that fits, every scene pixel an
                    N x N block, and the rain fills the whole frame around
                    it; smaller, the window's 784 x 495 view is shrunk to
                    fit, centred, black around it
  --sound FILE      also write the rain's sound as a WAV file (48000 Hz,
                    16-bit stereo, 750 sample frames per frame: 64 frames
                    are one second); the frames and the trace are the same
                    with or without it, and the same seed gives the same
                    sound
  --volume N        the sound's volume, 1 ... 100 (default 50)
  --no-thunder      the sound has no thunder; the flashes stay
  --help            show this text and exit

Frame N is written as DIR/frame-NNNNNN.ppm (or .png), numbered from 1.
Existing files of the same name are replaced, each only once it is
complete; an interrupted run leaves no half-written file.  A symbolic
link of that name is replaced, not followed; a folder, FIFO or device
there, or a link to one, is refused.

Exit status: 0 success, 1 failure (picture, output folder, frame, trace
or sound file), 2 bad arguments, including a trace, sound or frame that
would overwrite the picture, or a trace or sound that would be one of the
frames or each other.
Every failure is one line on stderr.
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

std::optional<int> FrameWrittenAs(std::string_view name, const FramesOptions& options) {
  const std::string_view prefix = "frame-";
  const std::string_view suffix = options.format == FrameFormat::Png ? ".png" : ".ppm";
  constexpr std::size_t digits = 6;
  if (name.size() != prefix.size() + digits + suffix.size() || !name.starts_with(prefix) ||
      !name.ends_with(suffix)) {
    return std::nullopt;
  }
  const auto number = ParseNumber(name.substr(prefix.size(), digits), 1, static_cast<std::uint64_t>(options.frames));
  if (!number || !IsFrameWritten(static_cast<int>(*number), options)) return std::nullopt;
  return static_cast<int>(*number);
}

}  // namespace tools
