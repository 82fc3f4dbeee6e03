#include "fs_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace corvane {

bool MakeDirs(const std::string& dir) {
  if (dir.empty()) return false;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    std::string path = dir.substr(0, pos);
    if (path.empty()) continue;
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  std::string tmp = path + ".tmp" + std::to_string(static_cast<long>(::getpid())) + "." +
                    std::to_string(counter.fetch_add(1));
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) break;
    done += static_cast<std::size_t>(w);
  }
  bool ok = done == bytes.size();
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

std::string UnreadableReason(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? "" : std::strerror(errno);
  char byte;
  std::string reason;
  if (::read(fd, &byte, 1) < 0 && errno != EAGAIN) reason = std::strerror(errno);
  ::close(fd);
  return reason;
}

void ReportOnce(const std::string& key, const std::string& message) {
  static std::mutex mutex;
  static std::set<std::string> reported;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!reported.insert(key).second) return;
  }
  std::fprintf(stderr, "corvane: %s\n", message.c_str());
}

bool ListDir(const std::string& dir, std::vector<DirEntry>* out) {
  out->clear();
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ListDirFd(fd, out);
  ::close(fd);
  return ok;
}

bool ListDirFd(int dirFd, std::vector<DirEntry>* out) {
  out->clear();
  int own = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);  // closedir closes this one
  if (own < 0) return false;
  DIR* d = ::fdopendir(own);
  if (!d) {
    ::close(own);
    return false;
  }
  ::rewinddir(d);  // the duplicate shares the position of dirFd
  int dfd = ::dirfd(d);
  while (struct dirent* e = ::readdir(d)) {
    std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = std::string(name);
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN || type == DT_LNK) {
      struct stat st;
      if (::fstatat(dfd, e->d_name, &st, 0) == 0)
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
      else
        type = DT_UNKNOWN;  // a dangling link
    }
    entry.isDir = type == DT_DIR;
    entry.isFile = type == DT_REG;
    out->push_back(std::move(entry));
  }
  ::closedir(d);
  std::sort(out->begin(), out->end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return true;
}

bool HasExtensionNoCase(std::string_view name, std::string_view ext) {
  if (name.size() < ext.size()) return false;
  std::string_view tail = name.substr(name.size() - ext.size());
  for (std::size_t i = 0; i < ext.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(tail[i]) != lower(ext[i])) return false;
  }
  return true;
}

}  // namespace corvane
