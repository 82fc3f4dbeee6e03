// The number of this process's threads that our code started, the main
// thread not counted: the pipeline's threads carry names beginning "cv-"
// (media::ACThread), and any other thread we start with std::thread carries
// the program's name; Qt's and the libraries' threads carry names of their
// own. -1 when /proc cannot be read. Shared by the window tests and the
// signal helper program.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace corvane::uitest {

inline int OwnThreadCount() {
  auto comm = [](const std::string& path) {
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
  };
  const std::string own = comm("/proc/self/comm");
  const std::string self = std::to_string(::getpid());
  int n = 0;
  DIR* d = ::opendir("/proc/self/task");
  if (!d) return -1;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.' || self == e->d_name) continue;
    const std::string name = comm(std::string("/proc/self/task/") + e->d_name + "/comm");
    if (name == own || name.rfind("cv-", 0) == 0) ++n;
  }
  ::closedir(d);
  return n;
}

}  // namespace corvane::uitest
