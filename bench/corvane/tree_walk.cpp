#include "tree_walk.h"

#include <fcntl.h>
#include <unistd.h>

namespace corvane::bench {

bool ReadFirst4K(const std::string& path, char* buf) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::read(fd, buf, 4096) >= 0;
  ::close(fd);
  return ok;
}

}  // namespace corvane::bench
