#include "imaging/standard_descriptors.h"

#include <fcntl.h>

#include <cerrno>

namespace imaging {

bool HoldStandardDescriptors() {
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor, which is `fd`: the ones below are open.
    if (open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY) != fd) return false;
  }
  return true;
}

}  // namespace imaging
