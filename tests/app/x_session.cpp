#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---------------------------------------------------------------- processes

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment,
                           const fs::path& workingDirectory, const fs::path& stderrFile) {
  // Everything the child needs is prepared before fork, so that the child
  // only calls async-signal-safe functions.
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (!environment.contains(name)) variables.push_back(text);
  }
  for (const auto& [name, value] : environment)
    if (!value.empty()) variables.push_back(name + "=" + value);
  std::vector<char*> envp, args;
  for (auto& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::vector<std::string> argvCopy = argv;
  for (auto& a : argvCopy) args.push_back(a.data());
  args.push_back(nullptr);
  const std::string directory = workingDirectory.string();
  const std::string errPath = stderrFile.string();

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int devNull = open("/dev/null", O_RDWR);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (devNull < 0 || err < 0 || chdir(directory.c_str()) != 0) _exit(126);
    dup2(devNull, 0);
    dup2(devNull, 1);
    dup2(err, 2);
    execvpe(args[0], args.data(), envp.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (!Running()) return;
  kill(pid_, SIGTERM);
  if (!WaitForExit(2s)) {
    kill(pid_, SIGKILL);
    WaitForExit(2s);
  }
}

bool ChildProcess::Running() {
  if (status_ || pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
  return !status_;
}

std::optional<int> ChildProcess::WaitForExit(Clock::duration timeout) {
  WaitUntil([this] { return !Running(); }, timeout);
  return status_;
}

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "rain-window-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

// ---------------------------------------------------------------- X server

namespace {

// Windows come and go while the tests walk the tree; a vanished window is
// not an error worth ending the test process for, which is what Xlib's
// default handler would do.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

int ReadDisplayNumber(int fd, Clock::duration timeout) {
  std::string text;
  const auto end = Clock::now() + timeout;
  while (text.find('\n') == std::string::npos && Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[16];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text.find('\n') == std::string::npos ? -1 : std::stoi(text);
}

}  // namespace

XSession::XSession() {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  server_.emplace(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                           "1280x1024x24", "-nolisten", "tcp", "-noreset"},
                  std::map<std::string, std::string>{}, Scratch(), Scratch() / "xvfb.log");
  close(fds[1]);
  displayNumber_ = ReadDisplayNumber(fds[0], 15s);
  close(fds[0]);
  if (displayNumber_ < 0)
    throw std::runtime_error("Xvfb did not start (is the xvfb package installed?): " +
                             ReadFile(Scratch() / "xvfb.log"));
  XSetErrorHandler(IgnoreXErrors);
  WaitUntil([this] { return (display_ = XOpenDisplay(DisplayName().c_str())) != nullptr; }, 5s);
  if (display_ == nullptr) throw std::runtime_error("cannot connect to Xvfb on " + DisplayName());
}

XSession::~XSession() {
  if (display_ != nullptr) XCloseDisplay(display_);
  windowManager_.reset();
  server_.reset();
}

void XSession::StartWindowManager() {
  windowManager_.emplace(std::vector<std::string>{"openbox", "--sm-disable"},
                         std::map<std::string, std::string>{{"DISPLAY", DisplayName()}}, Scratch(),
                         Scratch() / "openbox.log");
  const Window root = DefaultRootWindow(display_);
  if (!WaitUntil([&] { return !CardinalProperty(root, "_NET_SUPPORTING_WM_CHECK").empty(); }, 10s))
    throw std::runtime_error("openbox did not start: " + ReadFile(Scratch() / "openbox.log"));
}

ChildProcess XSession::Launch(const fs::path& program, const std::string& display) {
  // A copy in a folder of its own, started from another empty folder: the
  // program must find everything inside itself.
  const fs::path bin = Scratch() / "bin";
  const fs::path home = Scratch() / "home";
  fs::create_directories(bin);
  fs::create_directories(home);
  const fs::path copy = bin / program.filename();
  fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
  return ChildProcess({copy.string()},
                      {{"DISPLAY", display.empty() ? DisplayName() : display},
                       {"WAYLAND_DISPLAY", ""},
                       {"SDL_VIDEODRIVER", ""},
                       {"SDL_VIDEO_X11_WMCLASS", ""}},
                      home, StderrFile());
}

// ---------------------------------------------------------------- queries

namespace {

std::string WindowTitle(Display* display, Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after,
                         &data) == Success &&
      data != nullptr && format == 8) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data != nullptr) XFree(data);
  if (title.empty()) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
      title = name;
      XFree(name);
    }
  }
  return title;
}

void CollectTitled(Display* display, Window window, std::vector<std::pair<Window, std::string>>& out) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) == 0 || attributes.map_state != IsViewable)
      continue;
    std::string title = WindowTitle(display, children[i]);
    if (!title.empty()) out.emplace_back(children[i], std::move(title));
    CollectTitled(display, children[i], out);
  }
  if (children != nullptr) XFree(children);
}

}  // namespace

std::vector<std::pair<Window, std::string>> XSession::TitledWindows() {
  std::vector<std::pair<Window, std::string>> out;
  XGrabServer(display_);  // a consistent picture of the tree
  CollectTitled(display_, DefaultRootWindow(display_), out);
  XUngrabServer(display_);
  XSync(display_, False);
  return out;
}

std::optional<Window> XSession::WaitForWindow(const std::string& title, Clock::duration timeout) {
  std::optional<Window> found;
  WaitUntil(
      [&] {
        for (const auto& [window, name] : TitledWindows())
          if (name == title) found = window;
        return found.has_value();
      },
      timeout);
  return found;
}

Rect XSession::ClientRectOnScreen(Window window) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, window, &attributes);
  Rect rect{0, 0, attributes.width, attributes.height};
  Window child = 0;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &rect.x, &rect.y, &child);
  return rect;
}

Capture XSession::Grab(Window window) {
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, window, &attributes);
  Capture capture;
  XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return capture;
  capture.width = attributes.width;
  capture.height = attributes.height;
  capture.pixels.reserve(static_cast<std::size_t>(capture.width) * capture.height);
  for (int y = 0; y < capture.height; ++y)
    for (int x = 0; x < capture.width; ++x)
      capture.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu);
  XDestroyImage(image);
  return capture;
}

std::vector<long> XSession::CardinalProperty(Window window, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<long> values;
  if (XGetWindowProperty(display_, window, Intern(name), 0, 1 << 20, False, AnyPropertyType, &type, &format,
                         &count, &after, &data) == Success &&
      data != nullptr && format == 32) {
    // Xlib hands 32-bit items back as longs.
    const long* items = reinterpret_cast<const long*>(data);
    values.assign(items, items + count);
  }
  if (data != nullptr) XFree(data);
  return values;
}

std::vector<std::string> XSession::AtomListProperty(Window window, const char* name) {
  std::vector<std::string> names;
  for (long atom : CardinalProperty(window, name)) {
    char* text = XGetAtomName(display_, static_cast<Atom>(atom));
    if (text != nullptr) {
      names.emplace_back(text);
      XFree(text);
    }
  }
  return names;
}

void XSession::MovePointer(int x, int y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XSync(display_, False);
}

void XSession::Click(unsigned button) {
  XTestFakeButtonEvent(display_, button, True, CurrentTime);
  XTestFakeButtonEvent(display_, button, False, 50);
  XSync(display_, False);
}

void XSession::PressKey(unsigned long keysym) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, False, 50);
  XSync(display_, False);
}

void XSession::SendDeleteWindow(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = Intern("WM_PROTOCOLS");
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(Intern("WM_DELETE_WINDOW"));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XSync(display_, False);
}

void XSession::AskWindowManagerToClose(Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = Intern("_NET_CLOSE_WINDOW");
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = 2;  // the request comes from a pager or taskbar
  XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &event);
  XSync(display_, False);
}
