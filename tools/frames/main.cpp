// rain-frames: paints frames of the rain scene without a window and writes
// them as image files, optionally with a trace of every random draw, so that
// frames can be looked at and compared with other renderers.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/frame_setup.h"
#include "drawing/canvas.h"
#include "drawing/exception.h"
#include "imaging/image_files.h"
#include "imaging/output_file.h"
#include "imaging/resources.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "tools/frames/options.h"

namespace {

namespace fs = std::filesystem;
using tools::FrameFormat;
using tools::FramesOptions;

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// An output must never replace the picture it was painted from.
void RefuseToOverwritePicture(const std::string& output, const FramesOptions& options) {
  std::error_code error;
  if (options.picturePath && fs::equivalent(output, *options.picturePath, error)) {
    throw Exception("cannot write " + output + ": it is the picture");
  }
}

void LoadPicture(TBitmap& frame, TBitmap& picture, const FramesOptions& options) {
  try {
    app::PrepareFrameAndPicture(frame, picture, [&options](TBitmap& bitmap) {
      if (options.picturePath) {
        imaging::LoadBmpFile(bitmap, *options.picturePath);
      } else {
        // The picture built into this program, as the window loads it.
        LoadFromResourceName(&bitmap, HInstance, "Princess");
      }
    });
  } catch (const Exception& error) {
    throw Exception("cannot load picture: " + error.Message());
  }
  // Drawing with the transparent flag reads the lower-left pixel, which an
  // empty bitmap does not have.
  if (picture.width() <= 0 || picture.height() <= 0) throw Exception("cannot load picture: it has no pixels");
}

void PrepareOutputFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  // Whatever create_directories did or reported, what counts is that a
  // folder stands there now.
  if (!fs::is_directory(path)) {
    throw Exception("cannot create output folder '" + path + "': " + (error ? error.message() : "not a folder"));
  }
}

void WriteFrame(const TBitmap& frame, int number, const FramesOptions& options) {
  const std::string path = (fs::path(options.outDir) / tools::FrameFileName(number, options.format)).string();
  RefuseToOverwritePicture(path, options);
  if (options.format == FrameFormat::Png) {
    imaging::SavePngFile(frame, path);
  } else {
    imaging::SavePpmFile(frame, path);
  }
}

// "bound result\n" for every draw.
void RecordDraw(imaging::OutputFile& trace, int bound, int result) {
  char line[32];
  const int length = std::snprintf(line, sizeof line, "%d %d\n", bound, result);
  trace.Write(std::string_view(line, static_cast<std::size_t>(length)));
}

void Run(const FramesOptions& options) {
  TBitmap frame;
  TBitmap picture;
  LoadPicture(frame, picture, options);
  PrepareOutputFolder(options.outDir);

  std::optional<imaging::OutputFile> trace;
  // The observer must not outlive the trace, whichever way Run ends.
  struct ObserverGuard {
    ~ObserverGuard() { scene::SetRandomObserver({}); }
  } observerGuard;
  if (options.tracePath) {
    RefuseToOverwritePicture(*options.tracePath, options);
    trace.emplace(*options.tracePath);
    scene::SetRandomObserver([&trace](int bound, int result) { RecordDraw(*trace, bound, result); });
  }

  // The same steps as the window: seed, one scene, and one NextFrame per
  // frame with the transparent picture.
  scene::SeedRandom(options.seed);
  Rain rain;
  for (int number = 1; number <= options.frames; ++number) {
    rain.NextFrame(frame.Canvas, &picture);
    if (tools::IsFrameWritten(number, options)) WriteFrame(frame, number, options);
  }

  if (trace) trace->Commit();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const tools::ParsedCommandLine parsed = tools::ParseFramesCommandLine(args);
  switch (parsed.action) {
    case tools::ParsedCommandLine::Action::Help:
      std::fputs(tools::FramesUsage(), stdout);
      return std::fflush(stdout) == 0 ? 0 : ExitFailure;
    case tools::ParsedCommandLine::Action::UsageError:
      std::fprintf(stderr, "rain-frames: %s (try --help)\n", parsed.error.c_str());
      return ExitUsage;
    case tools::ParsedCommandLine::Action::Run:
      break;
  }

  try {
    Run(parsed.options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "rain-frames: %s\n", error.what());
    return ExitFailure;
  }
  return 0;
}
