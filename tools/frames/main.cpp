// rain-frames: paints frames of the rain scene without a window and writes
// them as image files, optionally with a trace of every random draw, so that
// frames can be looked at and compared with other renderers.

#include <sys/stat.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "scene/frame_setup.h"
#include "imaging/standard_descriptors.h"
#include "drawing/canvas.h"
#include "drawing/exception.h"
#include "drawing/scale.h"
#include "imaging/image_files.h"
#include "imaging/output_file.h"
#include "imaging/resources.h"
#include "scene/rain.h"
#include "scene/random.h"
#include "sound/events.h"
#include "sound/synthesiser.h"
#include "sound/wav.h"
#include "tools/frames/options.h"

namespace {

namespace fs = std::filesystem;
using tools::FrameFormat;
using tools::FramesOptions;

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// What the window shows of the 800 x 533 scene; a frame smaller than the
// picture shows that, shrunk.
constexpr drawing::Size WindowView{784, 495};

// A file as the system knows it: by device and inode when it exists, else by
// the path it would be created at, with symbolic links, "." and ".."
// resolved.  Two spellings of one file compare equal either way.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  nlink_t links = 0;
  fs::path resolved;
};

FileIdentity IdentityOf(const fs::path& path) {
  FileIdentity file;
  struct stat status {};
  if (stat(path.c_str(), &status) == 0) {
    file = {true, status.st_dev, status.st_ino, status.st_nlink, {}};
  }
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;  // the working folder is gone: as given
  file.resolved = fs::weakly_canonical(absolute, error);
  if (error) file.resolved = absolute.lexically_normal();
  return file;
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  if (a.exists || b.exists) return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
  return a.resolved == b.resolved;
}

// The names in the output folder that frames of this run are written as:
// only the folder's entries are looked at, never every name the run could
// write.
std::vector<fs::path> FrameNamesPresent(const FramesOptions& options) {
  std::vector<fs::path> names;
  std::error_code error;
  for (fs::directory_iterator entry(options.outDir, error), end; !error && entry != end; entry.increment(error)) {
    if (tools::FrameWrittenAs(entry->path().filename().string(), options)) names.push_back(entry->path());
  }
  return names;
}

// The frame of this run whose file `file` is, if any: by its own resolved
// name in the output folder, or, for a file that exists, by a frame name
// there that links to it (symbolically, or by a second hard link).
std::optional<int> FrameThatTakes(const FileIdentity& file, const FramesOptions& options) {
  const FileIdentity folder = IdentityOf(options.outDir);
  if (SameFile(IdentityOf(file.resolved.parent_path()), folder)) {
    if (const auto frame = tools::FrameWrittenAs(file.resolved.filename().string(), options)) return frame;
  }
  if (!file.exists || !folder.exists) return std::nullopt;
  for (const fs::path& name : FrameNamesPresent(options)) {
    std::error_code ignored;
    if ((file.links > 1 || fs::is_symlink(name, ignored)) && SameFile(IdentityOf(name), file)) {
      return tools::FrameWrittenAs(name.filename().string(), options);
    }
  }
  return std::nullopt;
}

// Why this run's outputs would overwrite one of its inputs or each other:
// the trace over the picture or over a frame, a frame over the picture.
// Empty when they are all distinct files.
std::string FindOutputClash(const FramesOptions& options) {
  const auto frameFile = [](const std::string& option, const std::string& path, int frame) {
    return option + " " + QuotedPath(path) + " is the file of frame " + std::to_string(frame) + " of this run";
  };
  std::optional<FileIdentity> picture;
  if (options.picturePath) {
    picture = IdentityOf(*options.picturePath);
    const auto frame = FrameThatTakes(*picture, options);
    if (frame) return frameFile("--picture", *options.picturePath, *frame);
  }
  std::optional<FileIdentity> trace;
  if (options.tracePath) {
    trace = IdentityOf(*options.tracePath);
    if (picture && SameFile(*trace, *picture)) return "--trace " + QuotedPath(*options.tracePath) + " is the picture";
    if (const auto frame = FrameThatTakes(*trace, options)) return frameFile("--trace", *options.tracePath, *frame);
  }
  if (options.soundPath) {
    const FileIdentity sound = IdentityOf(*options.soundPath);
    const std::string named = "--sound " + QuotedPath(*options.soundPath);
    if (picture && SameFile(sound, *picture)) return named + " is the picture";
    if (trace && SameFile(sound, *trace)) return named + " is the trace";
    if (const auto frame = FrameThatTakes(sound, options)) return frameFile("--sound", *options.soundPath, *frame);
  }
  return {};
}

void LoadPicture(TBitmap& frame, TBitmap& picture, const FramesOptions& options) {
  scene::PrepareFrameAndPicture(frame, picture, [&options](TBitmap& bitmap) {
    if (options.picturePath) {
      imaging::LoadBmpFile(bitmap, *options.picturePath);  // its errors name the file
    } else {
      // The picture built into this program, as the window loads it.
      LoadFromResourceName(&bitmap, HInstance, "Princess");
    }
  });
}

void PrepareOutputFolder(const FramesOptions& options) {
  std::error_code created;
  fs::create_directories(options.outDir, created);
  // Whatever create_directories did or reported, what counts is that a
  // folder stands there now.
  std::error_code looked;
  if (!fs::is_directory(options.outDir, looked)) {
    const std::error_code& reason = created ? created : looked;
    throw Exception("cannot create output folder " + QuotedPath(options.outDir) + ": " +
                    (reason ? reason.message() : "not a folder"));
  }
  // A frame name already taken by a FIFO, a device or a folder is refused
  // now, before any frame is painted or written, not when its turn comes.
  for (const fs::path& name : FrameNamesPresent(options)) imaging::RequireReplaceable(name.string());
}

void WriteFrame(const TBitmap& frame, int number, const FramesOptions& options) {
  const std::string path = (fs::path(options.outDir) / tools::FrameFileName(number, options.format)).string();
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

// The sound of the run, a frame at a time, into a file written whole or not
// at all.  Its own random source, seeded from the run's, leaves the scene's
// draws alone.
class SoundTrack {
 public:
  explicit SoundTrack(const FramesOptions& options)
      : file_(*options.soundPath), synthesiser_(options.seed, {options.volume, options.thunder}) {
    const auto header = sound::WavHeader(static_cast<std::uint32_t>(options.frames) * sound::kSamplesPerFrame);
    file_.Write(header);
  }
  void Add(const Rain& scene) {
    synthesiser_.Hear(sound::EventsOf(scene));
    synthesiser_.Render(samples_);
    sound::ToLittleEndian(samples_, bytes_);
    file_.Write(bytes_);
  }
  void Commit() { file_.Commit(); }

 private:
  imaging::OutputFile file_;
  sound::Synthesiser synthesiser_;
  std::array<std::int16_t, sound::kSamplesPerFrame * sound::kChannels> samples_{};
  std::array<std::byte, sizeof samples_> bytes_{};
};

void Run(const FramesOptions& options) {
  TBitmap frame;
  TBitmap picture;
  LoadPicture(frame, picture, options);
  PrepareOutputFolder(options);

  std::optional<imaging::OutputFile> trace;
  // The observer must not outlive the trace, whichever way Run ends.
  struct ObserverGuard {
    ~ObserverGuard() { scene::SetRandomObserver({}); }
  } observerGuard;
  if (options.tracePath) {
    trace.emplace(*options.tracePath);
    scene::SetRandomObserver([&trace](int bound, int result) { RecordDraw(*trace, bound, result); });
  }
  std::optional<SoundTrack> sound;
  if (options.soundPath) sound.emplace(options);

  // A frame of another size shows the rain as a screen of that size does: a
  // view painted at the scene's own size, presented scaled into the frame.
  std::optional<scene::Layout> layout;
  TBitmap view;
  if (options.size) {
    layout = scene::LayoutForRegion(*options.size, {picture.width(), picture.height()}, WindowView);
    frame.SetSize(options.size->width, options.size->height);
    view.SetSize(layout->placement.view.width, layout->placement.view.height);
    drawing::FillOutside(frame.Canvas->surface(), layout->placement.box, 0);
  }

  // The same steps as the window: seed, one scene, and one NextFrame per
  // frame with the transparent picture.
  scene::SeedRandom(options.seed);
  Rain rain = layout ? Rain(layout->scene, layout->pictureAt) : Rain();
  rain.lightning = options.lightning;
  for (int number = 1; number <= options.frames; ++number) {
    if (layout) {
      rain.NextFrame(view.Canvas, &picture);
      drawing::PresentScaled(frame.Canvas->surface(), layout->placement.box, view.Canvas->surface());
    } else {
      rain.NextFrame(frame.Canvas, &picture);
    }
    if (sound) sound->Add(rain);
    if (tools::IsFrameWritten(number, options)) WriteFrame(frame, number, options);
  }

  if (trace) trace->Commit();
  if (sound) sound->Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (!imaging::HoldStandardDescriptors()) return ExitFailure;
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

  imaging::RemoveTemporaryFilesOnSignals();
  // A file size limit is a failed write like a full disk: reported, and the
  // temporary file removed, rather than the process killed half-way.
  std::signal(SIGXFSZ, SIG_IGN);

  // Our messages only: a library's own text (std::filesystem's names its
  // function and shows paths raw) is not for users.
  try {
    if (const std::string clash = FindOutputClash(parsed.options); !clash.empty()) {
      std::fprintf(stderr, "rain-frames: %s\n", clash.c_str());
      return ExitUsage;
    }
    Run(parsed.options);
  } catch (const Exception& error) {
    std::fprintf(stderr, "rain-frames: %s\n", error.what());
    return ExitFailure;
  } catch (const std::bad_alloc&) {
    std::fputs("rain-frames: not enough memory\n", stderr);
    return ExitFailure;
  } catch (const std::exception&) {
    std::fputs("rain-frames: unexpected failure\n", stderr);
    return ExitFailure;
  }
  return 0;
}
