#include "imaging/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "drawing/exception.h"

namespace imaging {

namespace {

// The mode a new file gets from fopen, which mkstemp's 0600 would narrow.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

constexpr int kCleanUpSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The names of the temporary files being written, kept where a signal
// handler may read them: plain bytes in fixed slots, nothing it would have
// to allocate or lock.  A slot's name is complete before `used` says so.
struct TemporarySlot {
  volatile std::sig_atomic_t used = 0;
  char path[PATH_MAX] = {};
};
TemporarySlot temporaries[8];

// Claims a slot for `path`, or returns -1 when all are taken.  Called with
// the clean-up signals blocked, so the handler never sees half a name.
int ClaimSlot(const std::string& path) {
  for (int i = 0; i < static_cast<int>(std::size(temporaries)); ++i) {
    TemporarySlot& slot = temporaries[i];
    if (slot.used != 0) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.used = 1;
    return i;
  }
  return -1;
}

void ReleaseSlot(int slot) {
  if (slot >= 0) temporaries[slot].used = 0;
}

extern "C" void RemoveTemporaryFilesAndEnd(int signal) {
  for (const TemporarySlot& slot : temporaries) {
    if (slot.used != 0) unlink(slot.path);
  }
  // SA_RESETHAND has restored the default action, which ends the process
  // as soon as this handler returns.
  raise(signal);
}

// Blocks the clean-up signals for its lifetime, so a temporary file is never
// created without a slot that names it.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : kCleanUpSignals) sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
  }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "a device";
}

// Which of this process's standard streams `file` is, if any.
const char* StandardStream(const struct stat& file) {
  constexpr const char* kNames[] = {"input", "output", "error"};
  for (int fd = 0; fd < 3; ++fd) {
    struct stat stream {};
    if (fstat(fd, &stream) == 0 && stream.st_dev == file.st_dev && stream.st_ino == file.st_ino) return kNames[fd];
  }
  return nullptr;
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporaryFilesAndEnd;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int signal : kCleanUpSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kCleanUpSignals) {
    struct sigaction previous {};
    // Ignored by whoever started us (nohup, a script's background job): the
    // user asked that this signal not end the program.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

void FailToWrite(const std::string& path, const std::string& reason) {
  throw Exception("cannot write " + QuotedPath(path) + ": " + reason);
}

void RequireReplaceable(const std::string& path) {
  // lstat and stat only: opening a FIFO could block.  Whatever stands there
  // later is replaced by the rename, which opens nothing either.
  struct stat named {};
  if (lstat(path.c_str(), &named) != 0 || S_ISREG(named.st_mode)) return;
  const std::string is = "it is ", links = "it links to ";
  if (!S_ISLNK(named.st_mode)) FailToWrite(path, is + KindOf(named.st_mode) + ", not a regular file");
  // A link is replaced, but one that leads to a device or stream is how
  // people name one (/dev/stdout); replacing it would break it for everyone.
  struct stat led {};
  if (stat(path.c_str(), &led) != 0) return;  // leads nowhere: replaced
  if (!S_ISREG(led.st_mode)) FailToWrite(path, links + KindOf(led.st_mode) + ", not to a regular file");
  if (const char* stream = StandardStream(led)) FailToWrite(path, links + "this program's standard " + stream);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  RequireReplaceable(path_);
  const std::filesystem::path name(path_);
  const std::filesystem::path folder = name.has_parent_path() ? name.parent_path() : ".";
  std::string pattern = (folder / ("." + name.filename().string() + ".XXXXXX")).string();
  if (pattern.size() >= PATH_MAX) FailWithErrno(ENAMETOOLONG);
  const SignalsBlocked blocked;
  // mkostemp creates with O_EXCL: a new file of our own, never one reached
  // through a link or one someone else made.
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) FailWithErrno(errno);
  slot_ = ClaimSlot(pattern);
  if (slot_ < 0 || fchmod(fd, NewFileMode()) != 0 || (file_ = fdopen(fd, "wb")) == nullptr) {
    const int error = slot_ < 0 ? EMFILE : errno;
    close(fd);
    unlink(pattern.c_str());  // the destructor does not run for a failed constructor
    ReleaseSlot(slot_);
    FailWithErrno(error);
  }
  temporary_ = pattern;
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
  ReleaseSlot(slot_);
}

void OutputFile::Write(std::span<const std::byte> bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) FailWithErrno(errno);
}

void OutputFile::Commit() {
  std::FILE* file = std::exchange(file_, nullptr);
  errno = 0;
  bool failed = std::fflush(file) != 0 || std::ferror(file) != 0 || fsync(fileno(file)) != 0;
  const int error = errno;
  failed = std::fclose(file) != 0 || failed;
  // rename replaces the name itself, a link there included.
  if (!failed && std::rename(temporary_.c_str(), path_.c_str()) != 0) failed = true;
  if (failed) FailWithErrno(error != 0 ? error : errno);
  temporary_.clear();
  // After the rename: a signal before this line unlinks a name that no
  // longer exists, which is harmless.
  ReleaseSlot(std::exchange(slot_, -1));
}

void OutputFile::Fail(const std::string& reason) const { FailToWrite(path_, reason); }

void OutputFile::FailWithErrno(int error) const { Fail(std::strerror(error != 0 ? error : EIO)); }

}  // namespace imaging
