// krvtool live URL: one live channel through the program's own player
// (video filter with null renderers) and live library, recorded on request,
// for a fixed time; a JSON summary of what came.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "command.h"
#include "json_text.h"
#include "krv_session.h"
#include "krvreader/krv.h"
#include "live/live_rtp.h"
#include "live_command.h"
#include "playback/player.h"
#include "stop_signals.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool live URL [--channel C] [--record OUT.krv] [--seconds N]\n"
    "                    [--user NAME --password WORD]\n"
    "\n"
    "Opens the live stream URL (rtsp://HOST[:PORT]/PATH, over TCP) on channel C\n"
    "(0-3, default 0) of the program's player, with its video filter decoding\n"
    "every picture (null renderers), for N seconds (default 10; counted from\n"
    "the first recorded picture with --record, else from the first picture).\n"
    "  --record OUT.krv  record the channel from its first key frame into\n"
    "                    OUT.krv, which must not exist (every 30 minutes the\n"
    "                    recording goes on in OUT-2.krv, OUT-3.krv ...)\n"
    "  --user, --password  credentials for the recorder (never printed)\n"
    "Prints one JSON object: the address, the channel, the last state and its\n"
    "reason, the seconds run, packets read, key frames, pictures decoded and\n"
    "shown, packets dropped, picture size, connections made, packets recorded\n"
    "and the files written with their duration. Exit 0 when pictures came (and\n"
    "a recording was written when asked); 1 when the stream could not be\n"
    "played or recorded; 2 on bad usage. SIGINT and SIGTERM stop early.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"live", kLiveSummary, kUsage, run};
KRVTOOL_COMMAND(kCommand);

// The longest wait for the first picture (the stream's own time-out is 3 s).
constexpr int kFirstPictureWaitMs = 15000;
constexpr int kLookMs = 100;

struct LiveArgs {
  std::string url;
  int channel = 0;
  std::string record;
  int seconds = 10;
  live::LiveCredentials credentials;
};

std::string parse(const std::vector<std::string>& args, LiveArgs* a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& s = args[i];
    long long v = 0;
    const bool hasValue = i + 1 < args.size();
    if (s == "--channel") {
      if (!hasValue || !ParseInt(args[++i], 0, 3, &v)) return "--channel takes 0 to 3";
      a->channel = static_cast<int>(v);
    } else if (s == "--seconds") {
      if (!hasValue || !ParseInt(args[++i], 1, 86400, &v)) return "--seconds takes 1 to 86400";
      a->seconds = static_cast<int>(v);
    } else if (s == "--record") {
      if (!hasValue) return "--record takes a file";
      a->record = args[++i];
    } else if (s == "--user") {
      if (!hasValue) return "--user takes a name";
      a->credentials.username = args[++i];
    } else if (s == "--password") {
      if (!hasValue) return "--password takes a word";
      a->credentials.password = args[++i];
    } else if (!s.empty() && s[0] == '-') {
      return "unknown option " + s;
    } else if (a->url.empty()) {
      a->url = s;
    } else {
      return "takes one URL";
    }
  }
  if (a->url.empty()) return "expects a URL";
  return "";
}

// The address as printed: without a user part (credentials are never shown).
std::string shown(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t hostStart = scheme + 3;
  const size_t pathStart = url.find('/', hostStart);
  const size_t at = url.rfind('@', pathStart == std::string::npos ? std::string::npos : pathStart);
  if (at == std::string::npos || at < hostStart) return url;
  return url.substr(0, hostStart) + url.substr(at + 1);
}

// The states the channel goes through, for the main thread to wait on.
class StateLog {
 public:
  void Add(const live::LiveEvent& e) {
    std::lock_guard<std::mutex> lock(m_);
    last_ = e;
    if (e.state == live::LiveState::kPlaying) playing_ = true;
    if (e.state == live::LiveState::kNotReachable || e.state == live::LiveState::kRefused ||
        e.state == live::LiveState::kAuthFailed || e.state == live::LiveState::kFailed)
      failed_ = true;
    cv_.notify_all();
  }
  // Until the channel plays or fails, at most timeoutMs; false when it did not play.
  bool WaitPlayingOrFailed(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return playing_ || failed_; });
    return playing_ && !failed_;
  }
  bool Failed() {
    std::lock_guard<std::mutex> lock(m_);
    return failed_;
  }
  void WaitMs(int ms) {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return failed_; });
  }
  live::LiveEvent Last() {
    std::lock_guard<std::mutex> lock(m_);
    return last_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  live::LiveEvent last_;
  bool playing_ = false;
  bool failed_ = false;
};

int run(const std::vector<std::string>& args) {
  LiveArgs a;
  const std::string bad = parse(args, &a);
  if (!bad.empty()) return usageError(kCommand, bad);
  krvplayer::InstallStopSignals();

  std::atomic<int64_t> pictures{0};
  playback::PlayerOptions options;
  options.sound = playback::PlayerOptions::Sound::kNull;
  const int channel = a.channel;
  options.callbacks.newPicture = [&pictures, channel](int c, int64_t, const unsigned char*, int, int) {
    if (c == channel) pictures.fetch_add(1);
  };
  playback::Player player(options);
  StateLog states;
  player.Live().SetObserver([&states](const live::LiveEvent& e) { states.Add(e); });
  const bool withCredentials = !a.credentials.username.empty() || !a.credentials.password.empty();
  if (player.OpenLive(a.channel, a.url, "", withCredentials ? &a.credentials : nullptr) == 0) {
    std::fprintf(stderr, "krvtool live: cannot open %s\n", shown(a.url).c_str());
    return ExitCode::kUsage;
  }
  std::string error;
  if (!a.record.empty() && player.Live().StartRecTo(a.channel, a.record, &error) == 0) {
    std::fprintf(stderr, "krvtool live: %s\n", error.c_str());
    player.Close();
    return kFileError;
  }
  const auto started = std::chrono::steady_clock::now();
  bool ok = states.WaitPlayingOrFailed(kFirstPictureWaitMs);
  if (ok) {
    // The time runs from the first recorded (or shown) picture.
    auto counted = [&] {
      return a.record.empty() ? pictures.load() > 0 : player.Live().Stats(a.channel).recorded > 0;
    };
    const auto firstBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFirstPictureWaitMs);
    while (!counted() && !states.Failed() && krvplayer::StopSignal() == 0 &&
           std::chrono::steady_clock::now() < firstBy)
      states.WaitMs(kLookMs);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(a.seconds);
    while (counted() && !states.Failed() && krvplayer::StopSignal() == 0 && std::chrono::steady_clock::now() < end) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      states.WaitMs(static_cast<int>(left < kLookMs ? left : kLookMs));
    }
    ok = counted();
  }
  const live::LiveChannelStats s = player.Live().Stats(a.channel);
  const live::LiveEvent last = states.Last();
  player.CloseAllLive();  // the recording's trailer is written here
  const double ranSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::vector<std::string> files = player.Live().RecordedFiles(a.channel);
  player.Close();

  std::string json = "{\"url\":" + jsonString(shown(a.url).c_str()) + ",\"channel\":" + std::to_string(a.channel) +
                     ",\"state\":" + jsonString(live::LiveStateText(last.state)) +
                     ",\"reason\":" + jsonString(last.reason.c_str());
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                ",\"seconds\":%.3f,\"packets\":%lld,\"key_frames\":%lld,\"pictures\":%lld,\"dropped\":%lld,"
                "\"width\":%d,\"height\":%d,\"connects\":%lld,\"recorded\":%lld",
                ranSeconds, static_cast<long long>(s.packets), static_cast<long long>(s.keyFrames),
                static_cast<long long>(pictures.load()), static_cast<long long>(s.dropped), s.width, s.height,
                static_cast<long long>(s.connects), static_cast<long long>(s.recorded));
  json += numbers;
  json += ",\"files\":[";
  bool filesOk = !files.empty();
  for (size_t i = 0; i < files.size(); ++i) {
    krv::KrvProbeResult probe;
    const bool probed = krv::krv_probe(files[i].c_str(), &probe) == 0;
    filesOk = filesOk && probed && probe.duration_us > 0;
    char duration[64];
    std::snprintf(duration, sizeof duration, "%.3f", probed ? probe.duration_us / 1e6 : 0.0);
    json += std::string(i ? "," : "") + "{\"path\":" + jsonString(files[i].c_str()) + ",\"duration\":" + duration + "}";
  }
  json += "]}";
  std::printf("%s\n", json.c_str());
  if (!ok) {
    std::fprintf(stderr, "krvtool live: %s: %s%s%s\n", shown(a.url).c_str(), live::LiveStateText(last.state),
                 last.reason.empty() ? "" : ": ", last.reason.c_str());
    return kFileError;
  }
  if (!a.record.empty() && !filesOk) {
    std::fprintf(stderr, "krvtool live: the recording was not written\n");
    return kFileError;
  }
  return kOk;
}

}  // namespace
}  // namespace krvtool
