// The bare walk the catalogue is measured against: every regular file of a
// tree, found by readdir and handed to onFile(path).
#pragma once

#include <dirent.h>

#include <string>

namespace corvane::bench {

template <typename OnFile>
long WalkTree(const std::string& dir, OnFile&& onFile) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  long files = 0;
  while (struct dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    if (e->d_type == DT_DIR)
      files += WalkTree(path, onFile);
    else if (e->d_type == DT_REG && onFile(path))
      ++files;
  }
  ::closedir(d);
  return files;
}

// Opens path and reads its first 4 KB into buf.
bool ReadFirst4K(const std::string& path, char* buf);

}  // namespace corvane::bench
