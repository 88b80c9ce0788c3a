#include "imaging/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
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

}  // namespace

void FailToWrite(const std::string& path, const std::string& reason) {
  throw Exception("cannot write " + path + ": " + reason);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)), target_(path_) {
  struct stat existing {};
  const bool exists = stat(path_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) FailWithErrno(EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) {
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) FailWithErrno(errno);
    return;
  }
  // Through a symbolic link to the file it names, so the link stays.
  std::error_code unresolved;
  if (exists) target_ = std::filesystem::canonical(path_, unresolved).string();
  if (unresolved) FailWithErrno(unresolved.value());
  const std::filesystem::path target(target_);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) FailWithErrno(errno);
  if (fchmod(fd, NewFileMode()) != 0 || (file_ = fdopen(fd, "wb")) == nullptr) {
    const int error = errno;
    close(fd);
    unlink(pattern.c_str());  // the destructor does not run for a failed constructor
    FailWithErrno(error);
  }
  temporary_ = pattern;
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

void OutputFile::Write(std::span<const std::byte> bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) FailWithErrno(errno);
}

void OutputFile::Commit() {
  std::FILE* file = std::exchange(file_, nullptr);
  errno = 0;
  bool failed = std::fflush(file) != 0 || std::ferror(file) != 0;
  // A device or pipe written in place cannot be synced.
  failed = failed || (!temporary_.empty() && fsync(fileno(file)) != 0);
  const int error = errno;
  failed = std::fclose(file) != 0 || failed;
  if (!failed && !temporary_.empty() && std::rename(temporary_.c_str(), target_.c_str()) != 0) failed = true;
  if (failed) FailWithErrno(error != 0 ? error : errno);
  temporary_.clear();
}

void OutputFile::Fail(const std::string& reason) const { FailToWrite(path_, reason); }

void OutputFile::FailWithErrno(int error) const { Fail(std::strerror(error != 0 ? error : EIO)); }

}  // namespace imaging
