// krvtool play FILE...: plays one KRV recording, or the AVI files of one
// period, through the real pipeline (reader threads, video filter with null
// renderers, sound player, clock, snapshot filter, vehicle record consumers)
// in real time at the chosen speed, and reports what reached each station.
#include <sys/resource.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "command.h"
#include "media_commands.h"
#include "headless_player.h"
#include "json_text.h"
#include "krv_session.h"
#include "krvreader/record_start.h"
#include "stop_signals.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool play FILE... [--speed 1|2|4|...|256] [--second-play] [--seek S]\n"
    "                    [--pause-at S --resume-after MS] [--audio-channel C]\n"
    "                    [--snapshot C@S]... [--until S] [--report]\n"
    "\n"
    "Plays one KRV recording, or the AVI files of one period (each in the pane of\n"
    "the channel its name gives; the first FILE's channel drives the clock), to\n"
    "its end in real time at the speed code given (16 = x1, the default; codes\n"
    "above 32 play key frames only and no sound), with the program's own reader\n"
    "threads, clock, video filter (null renderers), sound player and snapshots.\n"
    "  --second-play     play as the \"second play\" button does: key frames only,\n"
    "                    as fast as they come, no sound, no GPS\n"
    "  --seek S          seek to second S once the recording is open (as the seek\n"
    "                    slider does; the speed given stays)\n"
    "  --pause-at S      pause when the play time reaches second S, and resume\n"
    "  --resume-after MS   with the Play button MS milliseconds later\n"
    "  --audio-channel C play the sound of channel C (0-3; default 0)\n"
    "  --snapshot C@S    take a snapshot of channel C (0-3) at second S; files go\n"
    "                    to $HOME/KRSnap/<C+1>/\n"
    "  --until S         stop when the play time reaches second S\n"
    "  --report          print one JSON object: pictures per channel (count, first\n"
    "                    and last time, times out of order), the WM_PLAY_TIME\n"
    "                    pairs [length s, second or marker], the clock's pacing\n"
    "                    (median and p99 of |actual - expected| CurDTS interval,\n"
    "                    ms), the sound's played time against the clock, the\n"
    "                    vehicle records delivered, the reader's counts, the\n"
    "                    snapshots written, wall and CPU time, and with\n"
    "                    --pause-at the wall and CPU time of the process from\n"
    "                    the pause to the resume (paused_wall_ms, paused_cpu_ms)\n"
    "Without --report one summary line is printed. Exit 0; 1 when a FILE cannot\n"
    "be read or playback stalls; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"play", kPlaySummary, kUsage, run};
KRVTOOL_COMMAND(kCommand);

// No post, picture or packet for this long: playback stalled.
constexpr int kStallMs = 20000;

struct SnapshotAt {
  int channel = 0;
  int second = 0;
  bool done = false;
};

struct PlayArgs {
  std::vector<std::string> files;
  bool avi = false;
  int speed = 16;
  bool secondPlay = false;
  int seek = -1;
  int pauseAt = -1;
  int resumeAfterMs = -1;
  int audioChannel = 0;
  std::vector<SnapshotAt> snapshots;
  int until = -1;
  bool report = false;
};

bool endsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
  return true;
}

// Parses the arguments; an empty string when they are usable, else the reason.
std::string parse(const std::vector<std::string>& args, PlayArgs* a) {
  auto number = [&](size_t& i, long long min, long long max, long long* out) -> bool {
    if (i + 1 >= args.size()) return false;
    return ParseInt(args[++i], min, max, out);
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& s = args[i];
    long long v = 0;
    if (s == "--speed") {
      if (!number(i, 1, 256, &v) || (v & (v - 1)) != 0) return "--speed takes 1, 2, 4, 8, 16, 32, 64, 128 or 256";
      a->speed = static_cast<int>(v);
    } else if (s == "--second-play") {
      a->secondPlay = true;
    } else if (s == "--seek") {
      if (!number(i, 0, 4294, &v)) return "--seek takes a second from 0 to 4294";
      a->seek = static_cast<int>(v);
    } else if (s == "--pause-at") {
      if (!number(i, 0, 4294, &v)) return "--pause-at takes a second from 0 to 4294";
      a->pauseAt = static_cast<int>(v);
    } else if (s == "--resume-after") {
      if (!number(i, 0, 600000, &v)) return "--resume-after takes milliseconds from 0 to 600000";
      a->resumeAfterMs = static_cast<int>(v);
    } else if (s == "--audio-channel") {
      if (!number(i, 0, 3, &v)) return "--audio-channel takes 0 to 3";
      a->audioChannel = static_cast<int>(v);
    } else if (s == "--snapshot") {
      if (i + 1 >= args.size()) return "--snapshot takes C@S";
      const std::string& t = args[++i];
      size_t at = t.find('@');
      long long c = 0, sec = 0;
      if (at == std::string::npos || !ParseInt(t.substr(0, at), 0, 3, &c) || !ParseInt(t.substr(at + 1), 0, 4294, &sec))
        return "--snapshot takes C@S: a channel 0-3 and a second";
      a->snapshots.push_back({static_cast<int>(c), static_cast<int>(sec), false});
    } else if (s == "--until") {
      if (!number(i, 0, 4294, &v)) return "--until takes a second from 0 to 4294";
      a->until = static_cast<int>(v);
    } else if (s == "--report") {
      a->report = true;
    } else if (!s.empty() && s[0] == '-') {
      return "unknown option " + s;
    } else {
      a->files.push_back(s);
    }
  }
  if (a->files.empty()) return "expects a FILE";
  if ((a->pauseAt >= 0) != (a->resumeAfterMs >= 0)) return "--pause-at and --resume-after go together";
  const bool krvFile = endsWithNoCase(a->files[0], ".krv");
  if (krvFile && a->files.size() != 1) return "plays one KRV file";
  if (!krvFile) {
    if (a->files.size() > 4) return "plays at most four AVI files";
    for (const std::string& f : a->files)
      if (!endsWithNoCase(f, ".avi")) return "expects one .krv file or .avi files of one period";
    a->avi = true;
  }
  return "";
}

double cpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return buf;
}

// Wall and CPU time of the process from the pause to the resume.
struct PauseCost {
  double wallMs = 0;
  double cpuMs = 0;
};

std::string report(krvplayer::HeadlessPlayer& p, const PlayArgs& a, bool ended, double wallMs, double playMs,
                   double cpu, const PauseCost& pause) {
  std::string out = "{\"files\": [";
  for (size_t i = 0; i < a.files.size(); ++i) out += (i ? ", " : "") + jsonString(a.files[i]);
  out += "], \"kind\": \"" + std::string(a.avi ? "avi" : "krv") + "\", \"speed\": " + std::to_string(a.speed) +
         ", \"second_play\": " + (a.secondPlay ? "true" : "false") + ", \"ended\": " + (ended ? "true" : "false");
  out += ", \"channels\": [";
  for (int c = 0; c < 4; ++c) {
    krvplayer::ChannelSummary s = p.Channel(c);
    out += std::string(c ? ", " : "") + "{\"channel\": " + std::to_string(c) + ", \"pictures\": " +
           std::to_string(s.pictures) + ", \"first_dts\": " + std::to_string(s.firstDts) + ", \"last_dts\": " +
           std::to_string(s.lastDts) + ", \"out_of_order\": " + std::to_string(s.outOfOrder) + "}";
  }
  out += "], \"play_time\": [";
  std::vector<krvplayer::PlayTimePost> posts = p.Posts();
  for (size_t i = 0; i < posts.size(); ++i)
    out += std::string(i ? ", " : "") + "[" + std::to_string(posts[i].lengthSeconds) + ", " +
           std::to_string(posts[i].value) + "]";
  krvplayer::PacingSummary pacing = p.Pacing();
  out += "], \"pacing\": {\"intervals\": " + std::to_string(pacing.intervals) + ", \"median_ms\": " +
         num(pacing.medianMs) + ", \"p99_ms\": " + num(pacing.p99Ms) + "}";
  // The sound's played time against the clock at the last time both were known.
  int64_t playedMs = 0, clockMs = 0;
  for (const krvplayer::ClockTick& t : p.Ticks())
    if (t.dts >= 0 && t.playedMs > 0) playedMs = t.playedMs, clockMs = t.dts;
  out += ", \"sound\": {\"device\": \"" + std::string(!p.SoundReady() ? "none" : p.SoundIsNull() ? "null" : "sdl") +
         "\", \"played_ms\": " + std::to_string(playedMs) + ", \"clock_ms\": " + std::to_string(clockMs) +
         ", \"difference_ms\": " + std::to_string(playedMs - clockMs) + "}";
  vehicle::ConsumerCounts m = p.Map().Counts();
  vehicle::ConsumerCounts c = p.Chart().Counts();
  out += ", \"vehicle\": {\"gps\": " + std::to_string(m.gps) + ", \"fixes_drawn\": " + std::to_string(m.drawn) +
         ", \"seek\": " + std::to_string(m.seek) + ", \"gsensor\": " + std::to_string(c.gSensor) +
         ", \"other_sensors\": " + std::to_string(c.otherSensors) + ", \"samples\": " + std::to_string(c.drawn) +
         ", \"clear\": " + std::to_string(c.clear) + ", \"broken\": " + std::to_string(m.broken + c.broken) + "}";
  const playback::ReaderStats& r = p.State().stats;
  out += ", \"reader\": {\"opened\": " + std::to_string(r.opened.load()) + ", \"seeks\": " +
         std::to_string(r.seeks.load()) + ", \"video_passed\": " + std::to_string(r.videoPassed.load()) +
         ", \"video_skipped\": " + std::to_string(r.videoSkipped.load()) + ", \"audio_passed\": " +
         std::to_string(r.audioPassed.load()) + ", \"clock_times\": " + std::to_string(r.clockTimes.load()) +
         ", \"data_records\": " + std::to_string(r.dataRecords.load()) + "}";
  out += ", \"snapshots\": [";
  std::vector<std::string> shots = p.SnapshotsWritten();
  for (size_t i = 0; i < shots.size(); ++i) out += (i ? ", " : "") + jsonString(shots[i]);
  out += "], \"snapshot_failures\": " + std::to_string(p.SnapshotsFailed());
  out += ", \"wall_ms\": " + num(wallMs) + ", \"play_ms\": " + num(playMs) + ", \"cpu_ms\": " + num(cpu) +
         ", \"paused_wall_ms\": " + num(pause.wallMs) + ", \"paused_cpu_ms\": " + num(pause.cpuMs) + "}\n";
  return out;
}

int run(const std::vector<std::string>& args) {
  PlayArgs a;
  std::string bad = parse(args, &a);
  if (!bad.empty()) return usageError(kCommand, bad);
  for (const std::string& f : a.files) {
    FILE* probe = std::fopen(f.c_str(), "rb");
    if (!probe) {
      std::fprintf(stderr, "krvtool play: cannot open %s\n", f.c_str());
      return kFileError;
    }
    std::fclose(probe);
  }

  krvplayer::InstallStopSignals();  // SIGINT/SIGTERM stop the play and still report
  krvplayer::HeadlessPlayer::Options options;
  options.speedAfterSeek = a.speed;  // krvtool keeps its speed across its own seek
  krvplayer::HeadlessPlayer p(options);
  p.SetAudioChannel(a.audioChannel);
  p.SetSpeed(a.speed);
  const int currentChannel = a.avi ? std::clamp(krv::RecordChannelFromName(a.files[0].c_str()), 0, 3) : 0;

  const auto start = krvplayer::SteadyClock::now();
  const double cpuStart = cpuMs();
  auto running = [&] { return a.avi ? p.Readers().AviRunning() : p.Readers().KrvRunning(); };
  if (a.seek >= 0) p.Seek(a.seek);
  if (a.secondPlay && a.seek < 0) {
    if (a.avi) {
      p.OpenAvi(a.files, currentChannel);  // the row opened, then the button
    } else {
      p.SelectKrv(a.files[0], playback::Player::Select::kOpen);
    }
    p.SecondPlay();
  } else {
    if (a.avi)
      p.OpenAvi(a.files, currentChannel);
    else
      p.OpenKrv(a.files[0]);
    if (a.seek >= 0) {
      // The seek is carried out once the recording is open; second play
      // follows it (a seek would end second play).
      krvplayer::HeadlessPlayer::WaitUntil(
          [&] { return p.State().stats.seeks.load() > 0 || p.State().seekPending.load() == 0 || !running(); }, 5000);
      if (a.secondPlay) p.SecondPlay();
    }
  }

  bool ended = false, stalled = false, paused = false;
  PauseCost pause;
  size_t looked = 0;
  auto lastProgress = krvplayer::SteadyClock::now();
  int64_t lastPictures = -1;
  while (!ended) {
    p.WaitForPost([](const krvplayer::PlayTimePost&) { return true; }, 100, looked);
    std::vector<krvplayer::PlayTimePost> posts = p.Posts();
    bool stop = false;
    for (; looked < posts.size(); ++looked) {
      const krvplayer::PlayTimePost& t = posts[looked];
      lastProgress = krvplayer::SteadyClock::now();
      if (t.value == media::DTS_END) {
        ended = true;
        break;
      }
      if (t.value < 0) continue;
      for (SnapshotAt& s : a.snapshots)
        if (!s.done && t.value >= s.second) {
          p.Snapshot(s.channel);
          s.done = true;
        }
      if (!paused && a.pauseAt >= 0 && t.value >= a.pauseAt) {
        paused = true;
        const auto pausedAt = krvplayer::SteadyClock::now();
        const double cpuAtPause = cpuMs();
        p.Pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(a.resumeAfterMs));
        pause.cpuMs = cpuMs() - cpuAtPause;
        pause.wallMs = std::chrono::duration<double, std::milli>(krvplayer::SteadyClock::now() - pausedAt).count();
        p.Play();
      }
      if (a.until >= 0 && t.value >= a.until) stop = true;
    }
    if (stop || krvplayer::StopSignal() != 0) break;
    int64_t pictures = 0;
    for (int c = 0; c < 4; ++c) pictures += p.Channel(c).pictures;
    if (pictures != lastPictures) {
      lastPictures = pictures;
      lastProgress = krvplayer::SteadyClock::now();
    }
    if (!ended && !running()) {
      std::fprintf(stderr, "krvtool play: the reader could not open %s\n", a.files[0].c_str());
      p.Close();
      return kFileError;
    }
    if (krvplayer::SteadyClock::now() - lastProgress > std::chrono::milliseconds(kStallMs)) {
      stalled = true;
      break;
    }
  }
  const double wallMs = std::chrono::duration<double, std::milli>(krvplayer::SteadyClock::now() - start).count();
  // Play time: from the clock's first ordinary time to its end marker.
  double playMs = 0;
  {
    std::vector<krvplayer::ClockTick> ticks = p.Ticks();
    auto first = std::find_if(ticks.begin(), ticks.end(), [](const krvplayer::ClockTick& t) { return t.dts >= 0; });
    auto last = std::find_if(ticks.rbegin(), ticks.rend(), [](const krvplayer::ClockTick& t) { return t.dts >= 0; });
    if (first != ticks.end() && last != ticks.rend())
      playMs = std::chrono::duration<double, std::milli>(last->at - first->at).count();
  }
  // Let the last pictures reach the display and the records their consumers.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const bool closed = p.Close();
  const double cpu = cpuMs() - cpuStart;
  if (stalled) std::fprintf(stderr, "krvtool play: playback stalled\n");
  if (krvplayer::StopSignal() != 0) std::fprintf(stderr, "krvtool play: stopped by signal %d\n", krvplayer::StopSignal());
  if (!closed) std::fprintf(stderr, "krvtool play: a reader thread did not end within its wait\n");

  if (a.report) {
    std::fputs(report(p, a, ended, wallMs, playMs, cpu, pause).c_str(), stdout);
  } else {
    int64_t pictures = 0;
    for (int c = 0; c < 4; ++c) pictures += p.Channel(c).pictures;
    std::printf("played %s: %lld pictures, %s, %.1f s\n", a.files[0].c_str(), static_cast<long long>(pictures),
                ended ? "to its end" : "stopped", wallMs / 1000.0);
  }
  if (std::fflush(stdout) != 0) return kFileError;
  return stalled || !closed ? kFileError : kOk;
}

}  // namespace
}  // namespace krvtool
