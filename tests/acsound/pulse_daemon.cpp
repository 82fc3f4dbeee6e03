#include "pulse_daemon.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace acsound::test {

namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
}

}  // namespace

PulseDaemon::PulseDaemon() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "corvane-pulse-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  folder_ = tmpl + "/";
  ::chmod(folder_.c_str(), 0700);
  // "default" is the pulse plugin whether or not a daemon runs.
  WriteText(folder_ + ".asoundrc", "pcm.!default { type pulse }\nctl.!default { type pulse }\n");
  // Never start a daemon of its own behind the test's back.
  WriteText(folder_ + "client.conf", "autospawn = no\n");
  int i = 0;
  for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_SERVER", "PULSE_CLIENTCONFIG"}) {
    const char* value = std::getenv(name);
    saved_[i++] = {name, value != nullptr, value ? value : ""};
  }
  ::setenv("HOME", folder_.c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  ::setenv("PULSE_SERVER", ("unix:" + folder_ + "pulse/native").c_str(), 1);
  ::setenv("PULSE_CLIENTCONFIG", (folder_ + "client.conf").c_str(), 1);
  // ALSA reads its configuration (with HOME's .asoundrc) once per process;
  // an earlier test in this process may have read another HOME's.
  snd_config_update_free_global();
}

PulseDaemon::~PulseDaemon() {
  Kill();
  for (const SavedVariable& v : saved_) {
    if (v.set) ::setenv(v.name, v.value.c_str(), 1);
    else ::unsetenv(v.name);
  }
  snd_config_update_free_global();
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

bool PulseDaemon::Start() {
  if (pid_ > 0) return true;
  // Everything the child needs is made before the fork.
  const std::string logPath = folder_ + "daemon.log";
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // The daemon ends with the test process, however that ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (log >= 0) {
      ::dup2(log, 1);
      ::dup2(log, 2);
    }
    ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
             "-L", "module-native-protocol-unix", "-L", "module-null-sink sink_name=corvane_null",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  pid_ = pid;
  // The daemon answers once its socket is up and the sink is loaded.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    if (Pactl("list short sinks") == 0 && SinkVolume() >= 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Kill();
  return false;
}

void PulseDaemon::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

int PulseDaemon::Pactl(const std::string& args, std::string* out) const {
  const std::string cmd = "pactl " + args + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = ::pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long PulseDaemon::SinkVolume() const {
  // "Volume: front-left: 20000 /  31% / -30.54 dB,   front-right: ..."
  std::string text;
  if (Pactl("get-sink-volume corvane_null", &text) != 0) return -1;
  const size_t colon = text.find("front-left:");
  if (colon == std::string::npos) return -1;
  return std::strtol(text.c_str() + colon + 11, nullptr, 10);
}

int PulseDaemon::SinkMute() const {
  std::string text;
  if (Pactl("get-sink-mute corvane_null", &text) != 0) return -1;
  if (text.find("yes") != std::string::npos) return 1;
  if (text.find("no") != std::string::npos) return 0;
  return -1;
}

std::string PulseDaemon::Log() const {
  std::ifstream in(folder_ + "daemon.log");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace acsound::test
