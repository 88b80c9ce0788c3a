// A private headless Wayland compositor for the tests that start the real
// program on Wayland: sway (wlroots, with a layer shell, a seat for wtype's
// keys, outputs made on request and grim's screenshots) and weston (a
// desktop shell without a layer shell or a seat, with output scales, and
// captured through its own screenshooter protocol).  Each runs in a runtime folder of its own and is killed
// with the test.  Sway refuses to run as root, so under root it runs as
// nobody, and the test (root) connects to its socket all the same.

#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

namespace support {

// What a screenshot shows, 0x00RRGGBB row-major, and the alpha byte beside
// it where the compositor keeps one.
struct Capture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::vector<std::uint8_t> alpha;
};

// Whether a program of that name is on PATH: the compositors and their
// tools are test dependencies a developer's machine may lack.
inline bool OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string rest = path != nullptr ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= rest.size();) {
    const std::size_t end = std::min(rest.find(':', start), rest.size());
    if (access((rest.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The programs a compositor test needs that are missing, for GTEST_SKIP.
inline std::string Missing(const std::vector<std::string>& programs) {
  std::string missing;
  for (const auto& program : programs)
    if (!OnPath(program)) missing += (missing.empty() ? "" : ", ") + program;
  return missing;
}

inline Capture ReadPpm(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, most = 0;
  in >> magic >> width >> height >> most;
  in.get();
  Capture capture{width, height, {}, {}};
  if (magic != "P6" || most != 255 || width <= 0 || height <= 0) return {};
  std::vector<unsigned char> bytes(static_cast<std::size_t>(width) * height * 3);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) return {};
  for (std::size_t i = 0; i < bytes.size(); i += 3)
    capture.pixels.push_back(std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2]);
  return capture;
}

// A PAM of RGB_ALPHA tuples, as rain-weston-shot writes them.
inline Capture ReadPam(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  int width = 0, height = 0;
  for (std::string word; in >> word && word != "ENDHDR";) {
    if (word == "WIDTH") in >> width;
    if (word == "HEIGHT") in >> height;
  }
  in.get();
  if (width <= 0 || height <= 0) return {};
  std::vector<unsigned char> bytes(static_cast<std::size_t>(width) * height * 4);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) return {};
  Capture capture{width, height, {}, {}};
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    capture.pixels.push_back(std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2]);
    capture.alpha.push_back(bytes[i + 3]);
  }
  return capture;
}

class Compositor {
 public:
  virtual ~Compositor() = default;
  Compositor(const Compositor&) = delete;
  Compositor& operator=(const Compositor&) = delete;

  // What a client needs to find the compositor.
  std::vector<std::string> Environment() const {
    return {"WAYLAND_DISPLAY=" + socket_.string(), "XDG_RUNTIME_DIR=" + runtime_.string()};
  }
  // The display's name, as the program's messages name it.
  std::string SocketPath() const { return socket_.string(); }
  const std::filesystem::path& Scratch() const { return scratch_.path(); }
  void Kill() { server_->Signal(SIGKILL), server_->WaitForExit(std::chrono::seconds(5)); }
  bool Running() { return server_->Running(); }

 protected:
  Compositor() {
    // Open to the unprivileged compositor: the folder mkdtemp made is root's.
    std::filesystem::permissions(Scratch(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec |
                                                std::filesystem::perms::group_exec);
    runtime_ = Scratch() / "run";
    std::filesystem::create_directory(runtime_);
    chmod(runtime_.c_str(), 0700);
  }
  void Start(const std::vector<std::string>& argv, const std::string& socketName) {
    server_.emplace(argv, Scratch() / "compositor.log");
    socket_ = runtime_ / socketName;
    if (!WaitUntil([&] { return std::filesystem::exists(socket_) || !server_->Running(); }, std::chrono::seconds(15)) ||
        !server_->Running())
      throw std::runtime_error(argv[0] + " did not start: " + ReadFile(Scratch() / "compositor.log"));
  }
  // Runs a client of the compositor to its end; its output.
  std::string Client(std::vector<std::string> argv, const std::vector<std::string>& environment = {}) {
    std::vector<std::string> command{"env"};
    for (const auto& e : Environment()) command.push_back(e);
    command.insert(command.end(), environment.begin(), environment.end());
    command.insert(command.end(), argv.begin(), argv.end());
    const std::filesystem::path folder = Scratch() / "client";
    std::filesystem::create_directories(folder);
    return RunToEnd(command, folder).out;
  }

  ScratchFolder scratch_;
  std::filesystem::path runtime_, socket_;
  std::optional<ChildProcess> server_;
};

// sway 1.7 on the headless backend with the CPU renderer and no input
// devices: one output of `size` at `scale` to start with, in which grim's
// screenshots are taken.
class Sway : public Compositor {
 public:
  static std::string MissingPrograms() { return Missing({"sway", "swaymsg", "grim", "wtype", "setpriv"}); }

  explicit Sway(const std::string& size = "1280x720", int scale = 1, bool xwayland = false) {
    const bool root = geteuid() == 0;
    if (root && chown(runtime_.c_str(), 65534, 65534) != 0) throw std::runtime_error("cannot hand the runtime folder to nobody");
    const auto config = Scratch() / "sway.conf";
    std::ofstream(config) << "output HEADLESS-1 resolution " << size << " scale " << scale << "\n"
                          << "xwayland " << (xwayland ? "enable" : "disable") << "\n";
    chmod(config.c_str(), 0644);
    std::vector<std::string> argv{"env", "-i", "PATH=/usr/sbin:/usr/bin:/bin", "HOME=" + runtime_.string(),
                                  "XDG_RUNTIME_DIR=" + runtime_.string(), "WLR_BACKENDS=headless",
                                  "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"};
    if (root) argv.insert(argv.end(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    argv.insert(argv.end(), {"sway", "-c", config.string()});
    Start(argv, "wayland-1");
    WaitUntil([&] { return !IpcSocket().empty(); }, std::chrono::seconds(10));
  }

  // swaymsg with these arguments; what it printed.
  std::string Msg(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"swaymsg", "-s", IpcSocket()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Client(argv);
  }
  // Keys as wtype takes them, e.g. {"-M", "ctrl", "q", "-m", "ctrl"}.  Each
  // wtype brings a keyboard of its own to a seat that had none, and a key
  // pressed as it arrives would reach the window as one already held: the
  // pause lets the window take the new keyboard first.
  void Type(const std::vector<std::string>& keys) {
    std::vector<std::string> argv{"wtype", "-s", "300"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    Client(argv);
  }
  // One output, or all of them side by side.
  Capture Screenshot(const std::string& output = "") {
    const auto file = Scratch() / "shot.ppm";
    std::filesystem::remove(file);
    std::vector<std::string> argv{"grim", "-t", "ppm"};
    if (!output.empty()) argv.insert(argv.end(), {"-o", output});
    argv.push_back(file.string());
    Client(argv);
    return ReadPpm(file);
  }
 private:
  std::string IpcSocket() {
    for (const auto& entry : std::filesystem::directory_iterator(runtime_))
      if (entry.path().filename().string().starts_with("sway-ipc.")) return entry.path().string();
    return "";
  }
};

// weston 10 on the headless backend with the CPU renderer: one output of
// width x height in the compositor's coordinates at `scale`, so
// scale * width x scale * height pixels.  The desktop shell places windows
// where it likes.
class Weston : public Compositor {
 public:
  static std::string MissingPrograms() { return Missing({"weston"}); }

  // `shooter` is rain-weston-shot, built with the tests.
  Weston(const std::string& shooter, int width, int height, int scale = 1) : shooter_(shooter) {
    Start({"env", "XDG_RUNTIME_DIR=" + runtime_.string(), "weston", "--backend=headless-backend.so", "--use-pixman",
           "--socket=rain-test", "--width=" + std::to_string(width), "--height=" + std::to_string(height),
           "--scale=" + std::to_string(scale), "--idle-time=0", "--debug"},
          "rain-test");
  }

  // The output's device pixels, and beside each the byte weston keeps
  // there: 0, the unused byte of an opaque XRGB buffer, for our pixels;
  // 255 for the shell's own.
  Capture Screenshot() {
    const auto file = Scratch() / "shot.pam";
    std::filesystem::remove(file);
    Client({shooter_, file.string()});
    return ReadPam(file);
  }

 private:
  std::string shooter_;
};

}  // namespace support
