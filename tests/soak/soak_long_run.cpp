// The long run: the one player plays recordings back to back, each advanced
// to at its predecessor's end as the window does ("next at the end"), and
// the process's memory is read after the first recording and at the end.
//
//   soak_long_run [--speed CODE] [--timeout-per-file S] FILE...
//   soak_long_run [--speed CODE] [--timeout-per-file S] --folder DIR
//   soak_long_run [--speed CODE] [--timeout-per-file S] --avi-period DIR --seconds S
//   soak_long_run --make-folder DIR --count N --seconds S
//   soak_long_run --make-period DIR --seconds S
//
// --folder plays every .krv below DIR in name order; --avi-period plays the
// .avi files of DIR as one period (each in its channel's pane). The two
// makers write what the runs play: N KRV recordings of S seconds (32x32,
// four channels, one-minute steps from 2024-03-15 08:00 UTC), or one period
// of S seconds as four AVI channel files (64x64). Prints the memory after
// the 1st, 10th, 30th and every hundredth recording (resident, of it the
// anonymous and the file pages, and the heap's bytes in use and held), and
// a last line
//   recordings N ended N rss_first_kb A hwm_first_kb B hwm_tenth_kb T rss_end_kb C hwm_end_kb D
//     growth_pct G settled_growth_pct S
// where growth_pct compares the peak at the end with the peak after the
// first recording (for a period: after its first twentieth) and
// settled_growth_pct with the peak after the first tenth of the recordings.
// Exit 0 when every recording played to its end; 1 when one did not end in
// its time; 2 on bad usage.
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "media/ac_messages.h"
#include "media/vo_null.h"
#include "playback/player.h"
#include "synth/synth.h"

namespace {

// VmRSS and VmHWM of this process, in kB.
struct Memory {
  long rssKb = 0;
  long hwmKb = 0;
  long anonKb = 0;  // RssAnon: heap, stacks, buffers
  long fileKb = 0;  // RssFile: program and library pages touched so far
};

Memory ReadMemory() {
  Memory m;
  std::ifstream f("/proc/self/status");
  for (std::string line; std::getline(f, line);) {
    if (line.rfind("VmRSS:", 0) == 0) m.rssKb = std::atol(line.c_str() + 6);
    if (line.rfind("VmHWM:", 0) == 0) m.hwmKb = std::atol(line.c_str() + 6);
    if (line.rfind("RssAnon:", 0) == 0) m.anonKb = std::atol(line.c_str() + 8);
    if (line.rfind("RssFile:", 0) == 0) m.fileKb = std::atol(line.c_str() + 8);
  }
  return m;
}

// The ends the clock posts, counted under a lock the main thread waits on.
class Ends {
 public:
  void Note() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
    }
    cv_.notify_all();
  }
  void NoteSecond(long second) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      second_ = second;
    }
    cv_.notify_all();
  }
  // Until the play time reached `second` or an end was posted past `seen`.
  bool WaitSecond(long second, long seen, int timeoutS) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(timeoutS), [&] { return second_ >= second || count_ > seen; });
  }
  // Until more than `seen` ends were posted, or the time-out.
  bool WaitPast(long seen, int timeoutS) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(timeoutS), [&] { return count_ > seen; });
  }
  long Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  long count_ = 0;
  long second_ = 0;
};

int Usage() {
  std::fprintf(stderr,
               "usage: soak_long_run [--speed CODE] [--timeout-per-file S] (FILE... | --folder DIR | --avi-period DIR --seconds S)\n"
               "       soak_long_run --make-folder DIR --count N --seconds S\n"
               "       soak_long_run --make-period DIR --seconds S\n");
  return 2;
}

std::string Stamp(int64_t t) {
  const time_t tt = static_cast<time_t>(t);
  struct tm tm {};
  gmtime_r(&tt, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &tm);
  return text;
}

int Make(const std::string& dir, bool period, int count, int seconds) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "soak_long_run: cannot make %s: %s\n", dir.c_str(), ec.message().c_str());
    return 1;
  }
  const int64_t start = krvsynth::ParseStartTime("20240315080000");
  krvsynth::SynthOptions o;
  o.seconds = seconds;
  std::string error;
  if (period) {
    o.width = o.height = 64;
    o.startTime = start;
    for (int c = 0; c < 4; ++c) {
      char name[32];
      std::snprintf(name, sizeof name, "_1000_%02d.avi", c + 1);
      if (!krvsynth::WriteAviChannel(o, c, dir + "/" + Stamp(start) + name, &error)) {
        std::fprintf(stderr, "soak_long_run: %s\n", error.c_str());
        return 1;
      }
    }
    return 0;
  }
  o.width = o.height = 32;
  o.fps = 10;
  o.gop = 10;
  for (int i = 0; i < count; ++i) {
    o.startTime = start + 60 * static_cast<int64_t>(i);
    o.seed = static_cast<uint32_t>(i + 1);
    if (!krvsynth::WriteKrv(o, dir + "/" + Stamp(o.startTime) + "_1000.krv", &error)) {
      std::fprintf(stderr, "soak_long_run: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int speed = 256;
  int timeoutS = 600;
  int count = 0, seconds = 0;
  std::string makeDir;
  bool makePeriod = false, aviPeriod = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if ((a == "--speed" || a == "--timeout-per-file" || a == "--folder" || a == "--avi-period" ||
         a == "--make-folder" || a == "--make-period" || a == "--count" || a == "--seconds") &&
        i + 1 >= argc)
      return Usage();
    if (a == "--make-folder" || a == "--make-period") {
      makePeriod = a == "--make-period";
      makeDir = argv[++i];
    } else if (a == "--count") {
      count = std::atoi(argv[++i]);
    } else if (a == "--seconds") {  // the period's length, for when to read its first memory
      seconds = std::atoi(argv[++i]);
    } else if (a == "--speed") {
      speed = std::atoi(argv[++i]);
    } else if (a == "--timeout-per-file") {
      timeoutS = std::atoi(argv[++i]);
    } else if (a == "--folder" || a == "--avi-period") {
      aviPeriod = a == "--avi-period";
      const std::string extension = aviPeriod ? ".avi" : ".krv";
      std::error_code ec;
      for (auto it = std::filesystem::recursive_directory_iterator(argv[++i], ec);
           !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file() && it->path().extension() == extension) files.push_back(it->path().string());
      if (ec) {
        std::fprintf(stderr, "soak_long_run: cannot read %s: %s\n", argv[i], ec.message().c_str());
        return 1;
      }
      std::sort(files.begin(), files.end());
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else {
      files.push_back(a);
    }
  }
  if (!makeDir.empty()) {
    if (seconds < 1 || seconds > (makePeriod ? 86400 : 4000) || (!makePeriod && (count < 1 || count > 100000)))
      return Usage();
    return Make(makeDir, makePeriod, count, seconds);
  }
  if (files.empty() || timeoutS < 1 || (aviPeriod && seconds < 1)) return Usage();

  Ends ends;
  media::VoNullStats panes[4];
  playback::PlayerOptions o;
  o.sound = playback::PlayerOptions::Sound::kNull;
  for (int c = 0; c < 4; ++c) o.panes[c] = &panes[c];
  o.speedAfterSeek = speed;
  o.callbacks.message = [&ends](uint32_t message, intptr_t, intptr_t lParam) {
    if (message != media::WM_PLAY_TIME) return;
    if (lParam == media::DTS_END)
      ends.Note();
    else if (lParam >= 0)
      ends.NoteSecond(static_cast<long>(lParam));
  };
  playback::Player player(o);
  player.SetSpeed(speed);

  Memory first, tenth;
  long ended = 0;
  int failed = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const long seen = ends.Count();
    if (aviPeriod) {
      player.SelectAvi(playback::Player::AviByChannel(files), 0, playback::Player::Select::kOpen);
      i = files.size() - 1;  // one period
    } else {
      player.SelectKrv(files[i], playback::Player::Select::kOpen);
    }
    if (i == 0 || aviPeriod) {
      player.Open();
    } else {
      player.Advance();
    }
    // One long period: its "first" memory is read a twentieth of the way in.
    if (aviPeriod && ends.WaitSecond(static_cast<long>(seconds) / 20, seen, timeoutS)) first = ReadMemory();
    if (!ends.WaitPast(seen, timeoutS)) {
      std::fprintf(stderr, "soak_long_run: %s did not end within %d s\n", files[i].c_str(), timeoutS);
      failed = 1;
      break;
    }
    ++ended;
    if (i == 0 && !aviPeriod) first = ReadMemory();
    if (i + 1 == (files.size() + 9) / 10 && !aviPeriod) tenth = ReadMemory();
    if ((i + 1) % 100 == 0 || i + 1 == 1 || i + 1 == 10 || i + 1 == 30) {
      const Memory m = ReadMemory();
      const struct mallinfo2 h = mallinfo2();
      std::printf("after %zu: rss_kb %ld hwm_kb %ld anon_kb %ld file_kb %ld heap_used_kb %zu heap_kb %zu\n", i + 1,
                  m.rssKb, m.hwmKb, m.anonKb, m.fileKb, h.uordblks / 1024, (h.arena + h.hblkhd) / 1024);
      std::fflush(stdout);
    }
  }
  player.Close();
  const Memory end = ReadMemory();
  const double growth = first.hwmKb > 0 ? 100.0 * (end.hwmKb - first.hwmKb) / first.hwmKb : 0;
  // A folder's first recording touches only some slots of the buffers made
  // at start; the peak after the first tenth is the settled one.
  if (aviPeriod) tenth = first;
  const double settled = tenth.hwmKb > 0 ? 100.0 * (end.hwmKb - tenth.hwmKb) / tenth.hwmKb : 0;
  std::printf("recordings %zu ended %ld rss_first_kb %ld hwm_first_kb %ld hwm_tenth_kb %ld rss_end_kb %ld hwm_end_kb %ld "
              "growth_pct %.1f settled_growth_pct %.1f\n",
              aviPeriod ? size_t{1} : files.size(), ended, first.rssKb, first.hwmKb, tenth.hwmKb, end.rssKb, end.hwmKb, growth,
              settled);
  return failed;
}
