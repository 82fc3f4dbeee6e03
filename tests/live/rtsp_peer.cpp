#include "rtsp_peer.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "krvreader/krv.h"
#include "krvreader/reader.h"

extern char** environ;

namespace livetest {

bool RtspPeer::Start(const std::vector<std::string>& options, int port, const std::string& pushLog) {
  Kill();
  const char* src = std::getenv("CORVANE_SOURCE_DIR");
  const std::string script = std::string(src != nullptr ? src : ".") + "/tests/live/rtsp_server.py";
  std::vector<std::string> args = {"/usr/bin/python3", script, "--port", std::to_string(port)};
  for (const auto& o : options) args.push_back(o);
  if (!pushLog.empty()) {
    args.push_back("--push-log");
    args.push_back(pushLog);
  }
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) return false;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  posix_spawn_file_actions_addclose(&fa, out[1]);
  const int rc = posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) {
    pid_ = -1;
    close(out[0]);
    return false;
  }
  std::string line;
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0) break;
    char c;
    if (read(out[0], &c, 1) != 1) break;
    if (c == '\n') break;
    line += c;
  }
  close(out[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) {
    Kill();
    return false;
  }
  return true;
}

void RtspPeer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string RtspPeer::Url(int channel, const std::string& userInfo) const {
  return "rtsp://" + (userInfo.empty() ? "" : userInfo + "@") + "127.0.0.1:" + std::to_string(port_) + "/chn" +
         std::to_string(channel);
}

int BarcodeOfYuy2(const unsigned char* picture, int width, int height) {
  if (picture == nullptr || width < 352 || height < 32) return -1;
  int value = 0;
  for (int bit = 0; bit < 16; ++bit) {
    const int x = bit * 22 + 11;
    const unsigned char y = picture[static_cast<size_t>(16) * width * 2 + static_cast<size_t>(x) * 2];
    value = (value << 1) | (y > 128 ? 1 : 0);
  }
  return value;
}

std::map<std::pair<int, int>, int64_t> ReadPushLog(const std::string& path) {
  std::map<std::pair<int, int>, int64_t> out;
  std::ifstream in(path);
  int channel, frame;
  long long ns;
  while (in >> channel >> frame >> ns) out[{channel, frame}] = ns;
  return out;
}

int64_t MonotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

static bool HasNal(const unsigned char* p, int size, int type) {
  for (int i = 0; i + 3 < size; ++i)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1 && (p[i + 3] & 0x1F) == type) return true;
  return false;
}

Probed ProbeFile(const std::string& path) {
  Probed out;
  krv::KrvProbeResult r;
  if (krv::krv_probe(path.c_str(), &r) != 0) return out;
  out.durationUs = r.duration_us;
  out.videoStreams = r.nb_video_streams;
  if (r.nb_streams > 0) {
    out.width = r.streams[0].width;
    out.height = r.streams[0].height;
  }
  krv::Reader reader(path);
  if (!reader.IsOpen()) return out;
  int rc;
  while ((rc = reader.Next()) > 0) {
    const krv::RecordingStream* st = reader.PacketStream();
    if (out.packets == 0) {
      out.firstId = st != nullptr ? st->index : -1;
      out.firstKey = (reader.Packet().flags & krv::PKT_FLAG_KEY) != 0;
      out.firstHasSps = HasNal(reader.Packet().data, reader.Packet().size, 7);
    }
    ++out.packets;
  }
  out.endResult = rc;
  return out;
}

std::string TempFolder(const std::string& tag) {
  static int counter = 0;
  const std::string path =
      "/tmp/corvane-live-" + std::to_string(getpid()) + "-" + tag + "-" + std::to_string(counter++);
  std::string cmd = "rm -rf '" + path + "' && mkdir -p '" + path + "'";
  if (std::system(cmd.c_str()) != 0) return "";
  return path;
}

}  // namespace livetest
