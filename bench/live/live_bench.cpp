// live_bench: live channels from the test RTSP server (tests/live/
// rtsp_server.py) on loopback through the player's live library and video
// filter (null renderers), for a number of seconds. Prints one JSON object:
// the time from a frame's push into the server's encoder to the filter
// showing its picture (median, p95, max; matched by the frame number each
// picture carries as a barcode against the server's push log), and this
// process's CPU per live channel.
//
//   live_bench [--channels N] [--seconds S]
// Run from the source tree's root or with CORVANE_SOURCE_DIR set.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "live/live_rtp.h"
#include "playback/player.h"
#include "rtsp_peer.h"

namespace {

struct ShownPicture {
  int channel;
  int frame;
  int64_t shownNs;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  int channels = 4, seconds = 10;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--channels") && i + 1 < argc) channels = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: live_bench [--channels 1-4] [--seconds S]\n");
      return 2;
    }
  }
  if (channels < 1 || channels > 4 || seconds < 1) return 2;
  if (!std::getenv("CORVANE_SOURCE_DIR")) setenv("CORVANE_SOURCE_DIR", ".", 0);

  const std::string log = "/tmp/corvane-live-bench-" + std::to_string(getpid()) + ".log";
  std::remove(log.c_str());
  livetest::RtspPeer peer;
  if (!peer.Start({}, 0, log)) {
    std::fprintf(stderr, "live_bench: the test server did not start\n");
    return 1;
  }

  std::mutex lock;
  std::vector<ShownPicture> shown;
  shown.reserve(static_cast<size_t>(seconds + 10) * 25 * 4);
  std::atomic<bool> measuring{false};
  playback::PlayerOptions o;
  o.sound = playback::PlayerOptions::Sound::kNull;
  o.callbacks.newPicture = [&](int c, int64_t, const unsigned char* p, int w, int h) {
    const int64_t now = livetest::MonotonicNs();
    if (!measuring.load()) return;
    const int frame = livetest::BarcodeOfYuy2(p, w, h);
    std::lock_guard<std::mutex> g(lock);
    shown.push_back({c, frame, now});
  };
  int rc = 0;
  {
    playback::Player player(o);
    for (int c = 0; c < channels; ++c) player.OpenLive(c, peer.Url(c), "");
    // Until every channel plays, then a second to settle.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      bool all = true;
      for (int c = 0; c < channels; ++c) all = all && player.Live().Stats(c).pushed > 0;
      if (all) break;
      if (std::chrono::steady_clock::now() > deadline) {
        std::fprintf(stderr, "live_bench: not every channel played\n");
        return 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    measuring.store(true);
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    measuring.store(false);
    int64_t dropped = 0;
    for (int c = 0; c < channels; ++c) dropped += player.Live().Stats(c).dropped;
    player.Close();
    peer.Kill();

    const auto pushes = livetest::ReadPushLog(log);
    std::vector<double> latencies;
    std::lock_guard<std::mutex> g(lock);
    for (const ShownPicture& s : shown) {
      auto it = pushes.find({s.channel, s.frame});
      if (it != pushes.end() && s.shownNs > it->second) latencies.push_back((s.shownNs - it->second) / 1e6);
    }
    const double cpuPercent = cpu / wall * 100;
    std::printf(
        "{\"channels\": %d, \"seconds\": %.2f, \"pictures\": %zu, \"matched\": %zu, \"dropped\": %lld, "
        "\"latency_ms\": {\"median\": %.1f, \"p95\": %.1f, \"max\": %.1f}, "
        "\"cpu_percent_of_core\": %.2f, \"cpu_percent_per_channel\": %.2f}\n",
        channels, wall, shown.size(), latencies.size(), static_cast<long long>(dropped), Percentile(latencies, 0.5),
        Percentile(latencies, 0.95), Percentile(latencies, 1.0), cpuPercent, cpuPercent / channels);
    if (latencies.empty()) rc = 1;
  }
  std::remove(log.c_str());
  return rc;
}
