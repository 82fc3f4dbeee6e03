// Helpers shared by the corvane_core tests: scratch folders, whole-file I/O,
// the paths of a record list.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/settings.h"

namespace corvane::test {

// A fresh folder under the system temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    path_ = tmpl + "/";
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }  // ends with '/'
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// One H.264 AVI channel file made by the ffmpeg command-line tool.
inline std::string MakeAvi(const std::string& path, int seconds) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::string cmd = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=25 -t " +
                    std::to_string(seconds) + " -c:v libx264 -preset ultrafast -bf 0 '" + path + "'";
  if (std::system(cmd.c_str()) != 0) return "";
  return path;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Runs body where file permissions apply: here when this process is not
// root, else in a child process as user "nobody" (root reads and writes
// whatever the mode bits say). A failure in the child fails the test; its
// messages are printed by the child. Folders the body uses must be open to
// others (mode 0777).
inline void AsUnprivileged(const std::function<void()>& body) {
  if (::geteuid() != 0) {
    body();
    return;
  }
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    body();
    std::fflush(nullptr);
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the part run as nobody failed (see above)";
}

inline std::vector<std::string> Paths(const RecordList& list) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < list.size(); ++i) out.push_back(list.path(i));
  return out;
}

// Points the process-wide paths at a scratch folder for the test's lifetime.
class ScopedAppPaths {
 public:
  // configHome serves when appDir is not writable (or does not exist).
  ScopedAppPaths(const std::string& appDir, const std::string& configHome) : saved_(GetAppPaths()) {
    SetAppPaths(ComputeAppPaths(appDir, configHome));
  }
  ~ScopedAppPaths() { SetAppPaths(saved_); }

 private:
  AppPaths saved_;
};

}  // namespace corvane::test
