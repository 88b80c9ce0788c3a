// Descriptors 0, 1 and 2 held at start, so that no file or connection the
// program opens later lands on one of them, where a message meant for
// stderr would be written into it.

#pragma once

namespace imaging {

// Opens /dev/null on each of 0, 1 and 2 that is closed: standard input
// write-only and standard output and error read-only, so any use of them
// still fails as it did on the closed descriptor (help printed to a closed
// stdout still reports the failure).  The first thing main does; false when
// one cannot be held, and then the program should end with status 1.
bool HoldStandardDescriptors();

}  // namespace imaging
