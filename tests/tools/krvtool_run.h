// Running krvtool and other command-line tools from tests, and scratch paths.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace krvtest {

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
  std::vector<std::string> Lines() const {
    std::vector<std::string> v;
    std::istringstream s(out);
    for (std::string l; std::getline(s, l);) v.push_back(l);
    return v;
  }
};

inline std::string KrvtoolPath() {
  const char* dir = std::getenv("CORVANE_BUILD_DIR");
  return std::string(dir ? dir : ".") + "/tools/krvtool";
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Runs a shell command line; stdout and stderr are captured.
inline RunResult RunShell(const std::string& command) {
  static int counter = 0;
  std::string base = "/tmp/corvane-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  std::string cmd = command + " >" + base + ".out 2>" + base + ".err";
  int status = std::system(cmd.c_str());
  RunResult r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = Slurp(base + ".out");
  r.err = Slurp(base + ".err");
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

inline RunResult Krvtool(const std::vector<std::string>& args) {
  std::string cmd = Quote(KrvtoolPath());
  for (const auto& a : args) {
    cmd += ' ';
    cmd += Quote(a);
  }
  return RunShell(cmd);
}

// Scratch paths of one test under /tmp, removed (folders with what they hold)
// at its end.
class TempPaths : public ::testing::Test {
 protected:
  std::string Temp(const std::string& name) {
    paths_.push_back("/tmp/corvane-tmp-" + std::to_string(::getpid()) + "-" + name);
    return paths_.back();
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& p : paths_) std::filesystem::remove_all(p, ec);
  }

 private:
  std::vector<std::string> paths_;
};

}  // namespace krvtest
