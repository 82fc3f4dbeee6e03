#include "settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "fs_util.h"
#include "ini.h"

namespace corvane {

namespace {

std::mutex& PathsMutex() {
  static std::mutex m;
  return m;
}
AppPaths& Paths() {
  static AppPaths p;
  return p;
}

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

AppPaths ComputeAppPaths(const std::string& appDir, const std::string& configHome) {
  AppPaths p;
  p.appDir = WithSlash(appDir);
  if (!p.appDir.empty() && ::access(p.appDir.c_str(), W_OK) == 0)
    p.dataDir = p.appDir;
  else if (!configHome.empty())
    p.dataDir = WithSlash(configHome) + "corvane/";
  if (!p.dataDir.empty()) {
    p.settingsPath = p.dataDir + kSettingsFileName;
    p.languageDir = p.dataDir + kLanguageFolderName + "/";
  }
  return p;
}

std::string ExecutableDir() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string exe(buf, static_cast<std::size_t>(n));
  std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "" : exe.substr(0, slash + 1);
}

std::string DefaultConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') {
    struct passwd* pw = ::getpwuid(::getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  if (!home || home[0] != '/') return "";
  return WithSlash(home) + ".config";
}

void SetAppPaths(const AppPaths& paths) {
  std::lock_guard<std::mutex> lock(PathsMutex());
  Paths() = paths;
}

AppPaths GetAppPaths() {
  std::lock_guard<std::mutex> lock(PathsMutex());
  return Paths();
}

bool EnsureSettingsFile() {
  AppPaths p = GetAppPaths();
  if (p.settingsPath.empty()) return false;
  if (::access(p.settingsPath.c_str(), F_OK) == 0) {
    // There but unreadable: every read gives its default and no write
    // replaces the file (the user may still want what it holds).
    const std::string reason = UnreadableReason(p.settingsPath);
    if (reason.empty()) return true;
    ReportOnce(p.settingsPath + reason, "cannot read " + p.settingsPath + " (" + reason +
                                   "): the defaults are used and the file is left as it is");
    return false;
  }
  if (!MakeDirs(p.dataDir)) return false;
  // O_EXCL: a file another process made meanwhile is kept.
  int fd = ::open(p.settingsPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST;
  bool ok = ::write(fd, kDefaultSettingsFile.data(), kDefaultSettingsFile.size()) ==
            static_cast<ssize_t>(kDefaultSettingsFile.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool InitAppPaths() {
  SetAppPaths(ComputeAppPaths(ExecutableDir(), DefaultConfigHome()));
  return EnsureSettingsFile();
}

std::string GetSettingString(std::string_view section, std::string_view key, std::string_view def,
                             std::size_t bufChars) {
  return IniReadString(GetAppPaths().settingsPath, section, key, def, bufChars);
}

int GetSettingInt(std::string_view section, std::string_view key, int def) {
  return IniReadInt(GetAppPaths().settingsPath, section, key, def);
}

bool SetSettingString(std::string_view section, std::string_view key, std::string_view value) {
  AppPaths p = GetAppPaths();
  if (p.settingsPath.empty() || !MakeDirs(p.dataDir)) return false;
  return IniWriteString(p.settingsPath, section, key, value);
}

bool SetSettingInt(std::string_view section, std::string_view key, int value) {
  return SetSettingString(section, key, std::to_string(value));
}

}  // namespace corvane
