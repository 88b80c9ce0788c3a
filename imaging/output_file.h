// The one way the program's tools write a file: whole or not at all.
//
// The bytes go to a temporary file beside the target, created exclusively
// (never through a link, never into a file already there), which takes the
// target's name only when Commit has flushed, synced and closed it without
// a fault; until then the target keeps what it held before.  The name is
// replaced as a name: a symbolic link standing there is replaced, never
// followed, so a link planted in a shared folder cannot aim the write at
// someone else's file.  What stands there is looked at but never opened,
// so a planted FIFO cannot block.  A folder, FIFO, device or socket, or a
// link to one or to one of the program's standard streams (/dev/stdout), is
// refused: none is a file that could be replaced whole.
// Every failure raises Exception "cannot write 'PATH': reason", the path
// quoted and the reason ours or the system's (strerror).

#pragma once

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace imaging {

class OutputFile {
 public:
  explicit OutputFile(std::string path);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // Without a Commit the temporary file goes and the target is untouched.
  ~OutputFile();

  void Write(std::span<const std::byte> bytes);
  void Write(std::string_view text) { Write(std::as_bytes(std::span(text))); }

  // Flushes, syncs and closes the file and gives it the target's name.  A
  // write that stdio buffered fails here at the latest.
  void Commit();

 private:
  [[noreturn]] void Fail(const std::string& reason) const;
  [[noreturn]] void FailWithErrno(int error) const;

  std::string path_;       // the name Commit replaces, as the caller gave it
  std::string temporary_;  // empty once committed
  std::FILE* file_ = nullptr;
  int slot_ = -1;  // where the signal handler finds the temporary file's name
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary files of every
// OutputFile still being written before they end the process as they would
// have, so an interrupted program leaves neither a torn file under a
// finished name nor a stray temporary one.  For programs, not libraries:
// it replaces whatever handlers were installed, but a signal ignored at
// start stays ignored, so `nohup` and background jobs of scripts work.
void RemoveTemporaryFilesOnSignals();

// Raises the error an OutputFile raises when what stands at `path` cannot
// be replaced by a file, as above; for refusing before any work is done.
void RequireReplaceable(const std::string& path);

// Raises the error an OutputFile raises, for faults found before a file is
// opened.
[[noreturn]] void FailToWrite(const std::string& path, const std::string& reason);

}  // namespace imaging
