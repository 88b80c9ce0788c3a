// rain-frames: paints frames of the rain scene without a window and writes
// them as image files, optionally with a trace of every random draw, so that
// frames can be looked at and compared with other renderers.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "canvas.h"
#include "exception.h"
#include "frames_options.h"
#include "imagefile.h"
#include "rain.h"
#include "random.h"
#include "resources.h"

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// Thrown for any failure after the arguments were accepted; main prints it
// as the one line on stderr.
struct ToolError {
  std::string message;
};

void LoadPicture(TBitmap& picture, const FramesOptions& options) {
  try {
    if (options.picturePath) {
      LoadBmpFile(picture, *options.picturePath);
    } else {
      // The picture built into this program, as the window loads it.
      LoadFromResourceName(&picture, HInstance, "Princess");
    }
  } catch (const Exception& error) {
    throw ToolError{"cannot load picture: " + error.Message()};
  }
  // Drawing with the transparent flag reads the lower-left pixel, which an
  // empty bitmap does not have.
  if (picture.width() <= 0 || picture.height() <= 0) {
    throw ToolError{"cannot load picture: it has no pixels"};
  }
  picture.Transparent = true;
}

void PrepareOutputFolder(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  // Whatever create_directories did or reported, what counts is that a
  // folder stands there now.
  if (!std::filesystem::is_directory(path)) {
    throw ToolError{"cannot create output folder '" + path +
                    "': " + (error ? error.message() : "not a folder")};
  }
}

// Buffered writer of the draw trace.  The first failing write is remembered
// with its reason; Close reports it, or the failure of the final flush.
class TraceFile {
 public:
  explicit TraceFile(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
      throw ToolError{"cannot write trace file '" + path + "': " + std::strerror(errno)};
    }
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  }
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  ~TraceFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

  void Record(int bound, int result) {
    if (std::fprintf(file_, "%d %d\n", bound, result) < 0 && writeErrno_ == 0) {
      writeErrno_ = errno != 0 ? errno : EIO;
    }
  }

  // Called after each frame so that a full disk stops the run early.
  void ThrowIfFailed() const {
    if (writeErrno_ != 0) Fail(writeErrno_);
  }

  void Close() {
    ThrowIfFailed();
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const int flushErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed) Fail(flushErrno != 0 ? flushErrno : EIO);
    if (!closed) Fail(errno != 0 ? errno : EIO);
  }

 private:
  [[noreturn]] void Fail(int error) const {
    throw ToolError{"cannot write trace file '" + path_ + "': " + std::strerror(error)};
  }

  std::string path_;
  std::FILE* file_ = nullptr;
  int writeErrno_ = 0;
};

void WriteFrame(const TBitmap& frame, int number, const FramesOptions& options) {
  const std::string path =
      (std::filesystem::path(options.outDir) / FrameFileName(number, options.format)).string();
  try {
    if (options.format == FrameFormat::Png) {
      SavePngFile(frame, path);
    } else {
      SavePpmFile(frame, path);
    }
  } catch (const Exception& error) {
    throw ToolError{"cannot write frame: " + error.Message()};
  }
}

void Run(const FramesOptions& options) {
  TBitmap picture;
  LoadPicture(picture, options);
  PrepareOutputFolder(options.outDir);

  std::optional<TraceFile> trace;
  // The observer must not outlive the trace, whichever way Run ends.
  struct ObserverGuard {
    ~ObserverGuard() { SetRandomObserver({}); }
  } observerGuard;
  if (options.tracePath) {
    trace.emplace(*options.tracePath);
    SetRandomObserver([&trace](int bound, int result) { trace->Record(bound, result); });
  }

  // The same steps as the window: seed, one scene, an 800 x 533 frame, and
  // one NextFrame per frame with the transparent picture.
  SeedRandom(options.seed);
  Rain rain;
  TBitmap frame;
  frame.Width = 800;
  frame.Height = 533;
  for (int number = 1; number <= options.frames; ++number) {
    rain.NextFrame(frame.Canvas, &picture);
    if (trace) trace->ThrowIfFailed();
    if (IsFrameWritten(number, options)) WriteFrame(frame, number, options);
  }

  if (trace) trace->Close();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ParsedCommandLine parsed = ParseFramesCommandLine(args);
  switch (parsed.action) {
    case ParsedCommandLine::Action::Help:
      std::fputs(FramesUsage(), stdout);
      return std::fflush(stdout) == 0 ? 0 : ExitFailure;
    case ParsedCommandLine::Action::UsageError:
      std::fprintf(stderr, "rain-frames: %s (try --help)\n", parsed.error.c_str());
      return ExitUsage;
    case ParsedCommandLine::Action::Run:
      break;
  }

  try {
    Run(parsed.options);
  } catch (const ToolError& error) {
    std::fprintf(stderr, "rain-frames: %s\n", error.message.c_str());
    return ExitFailure;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "rain-frames: %s\n", error.what());
    return ExitFailure;
  }
  return 0;
}
