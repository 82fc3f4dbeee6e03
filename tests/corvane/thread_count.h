// The number of this process's threads that carry no name of their own (the
// ones our code starts with std::thread carry the program's), the main
// thread not counted. -1 when /proc cannot be read. Shared by the window
// tests and the signal helper program.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace corvane::uitest {

inline int UnnamedThreadCount() {
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
    if (comm(std::string("/proc/self/task/") + e->d_name + "/comm") == own) ++n;
  }
  ::closedir(d);
  return n;
}

}  // namespace corvane::uitest
