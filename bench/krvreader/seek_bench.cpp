// Seeking in a large recording, through the one player.
//   seek_bench repeat SRC.krv OUT.krv MEGABYTES
//       writes OUT.krv of at least MEGABYTES (10^6 bytes) by repeating the
//       packets of SRC.krv (a `krvtool synth` recording: real H.264 and
//       sound) one after the other, each pass's times moved on by the
//       source's length, so the pictures decode and the times run on.
//   seek_bench seek FILE.krv SECONDS...
//       opens FILE.krv in a player (null renderers and sound device), lets
//       it play its first picture, then for each target second asks for a
//       seek as the slider does and measures the time from the request to
//       the first picture within 2 s of the target, and the bytes the
//       process read meanwhile (/proc/self/io rchar). One line per target,
//       then "median_ms M max_ms X max_read_kb K max_seek_read_kb S", S
//       being what the estimated key-frame seek itself read, measured on a
//       reader of its own.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "krvreader/krv.h"
#include "krvreader/reader.h"
#include "media/vo_null.h"
#include "playback/player.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Held {
  int stream;
  int64_t dts;
  int duration;
  bool key;
  std::vector<unsigned char> data;
};

int Repeat(const char* src, const char* out, int64_t megabytes) {
  krv::Reader in;
  if (!in.Open(src)) {
    std::fprintf(stderr, "seek_bench: cannot open %s\n", src);
    return 1;
  }
  std::vector<Held> packets;
  int64_t lengthUs = 0;
  for (int r; (r = in.Next()) != krv::KRV_EPIPE;) {
    if (r <= 0) continue;
    const krv::RecordingPacket& p = in.Packet();
    const krv::RecordingStream* st = in.PacketStream();
    if (!st) continue;
    packets.push_back({st->index, p.dts, p.duration, (p.flags & krv::PKT_FLAG_KEY) != 0,
                       std::vector<unsigned char>(p.data, p.data + p.size)});
    lengthUs = std::max<int64_t>(lengthUs, p.dts + std::max(p.duration, 0));
  }
  if (packets.empty() || lengthUs <= 0) {
    std::fprintf(stderr, "seek_bench: nothing to repeat in %s\n", src);
    return 1;
  }
  lengthUs = (lengthUs + 999999) / 1000000 * 1000000;  // whole seconds per pass

  krv::RecordingContext ctx{};
  if (krv::url_fopen(&ctx.pb, out, krv::URL_WRONLY) < 0) {
    std::fprintf(stderr, "seek_bench: cannot create %s\n", out);
    return 1;
  }
  for (krv::RecordingStream* s : in.Context()->streams) {
    if (!s) continue;
    krv::RecordingStream* st = krv::av_new_stream(&ctx, s->index);
    st->kind = s->kind;
    st->codec_id = s->codec_id;
    st->width = s->width;
    st->height = s->height;
    st->r_frame_rate = s->r_frame_rate;
    st->sample_rate = s->sample_rate;
    st->channels = s->channels;
    st->bits_per_sample = s->bits_per_sample;
    st->bit_rate = s->bit_rate;
  }
  ctx.start_time = in.Context()->start_time;
  if (krv::krv_write_header(&ctx) < 0) return 1;
  const int64_t target = megabytes * 1000000;
  krv::RecordingPacket pkt{};
  int64_t passes = 0;
  for (int64_t offset = 0; krv::url_ftell(ctx.pb) < target; offset += lengthUs, ++passes) {
    if (offset + lengthUs > 0xFFFFFFFFLL) {
      std::fprintf(stderr, "seek_bench: the times would pass 32 bits; use a source with larger pictures\n");
      return 1;
    }
    for (const Held& h : packets) {
      pkt.stream_index = -1;
      for (int i = 0; i < ctx.nb_streams; ++i)
        if (ctx.streams[i] && ctx.streams[i]->index == h.stream) pkt.stream_index = i;
      if (pkt.stream_index < 0) continue;
      pkt.data = const_cast<unsigned char*>(h.data.data());
      pkt.size = static_cast<int>(h.data.size());
      pkt.dts = pkt.pts = h.dts + offset;
      pkt.duration = h.duration;
      pkt.flags = h.key ? krv::PKT_FLAG_KEY : 0;
      if (krv::krv_write_packet(&ctx, &pkt) < 0) {
        std::fprintf(stderr, "seek_bench: write error\n");
        return 1;
      }
    }
  }
  const int r = krv::krv_write_trailer(&ctx);
  const int64_t size = krv::url_ftell(ctx.pb);
  krv::krv_read_close(&ctx);
  krv::url_fclose(ctx.pb);
  std::printf("wrote %s: %lld bytes, %lld passes of %lld s\n", out, static_cast<long long>(size),
              static_cast<long long>(passes), static_cast<long long>(lengthUs / 1000000));
  return r < 0 ? 1 : 0;
}

int64_t BytesRead() {
  std::ifstream f("/proc/self/io");
  for (std::string line; std::getline(f, line);)
    if (line.rfind("rchar:", 0) == 0) return std::atoll(line.c_str() + 6);
  return 0;
}

// The first picture after a point whose time is within a window.
class FirstPicture {
 public:
  void Note(int64_t dtsMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (armed_ && dtsMs >= from_ && dtsMs <= to_) {
      armed_ = false;
      at_ = Clock::now();
      dts_ = dtsMs;
      cv_.notify_all();
    }
  }
  void Arm(int64_t fromMs, int64_t toMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = true;
    from_ = fromMs;
    to_ = toMs;
  }
  bool Wait(int timeoutMs, Clock::time_point* at, int64_t* dts) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !armed_; })) return false;
    *at = at_;
    *dts = dts_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool armed_ = false;
  int64_t from_ = 0, to_ = 0, dts_ = 0;
  Clock::time_point at_;
};

int Seek(const char* path, const std::vector<int>& targets) {
  FirstPicture first;
  media::VoNullStats panes[4];
  playback::PlayerOptions o;
  o.sound = playback::PlayerOptions::Sound::kNull;
  for (int c = 0; c < 4; ++c) o.panes[c] = &panes[c];
  o.callbacks.newPicture = [&first](int, int64_t dts, const unsigned char*, int, int) { first.Note(dts); };
  playback::Player player(o);
  player.SetSpeed(16);
  first.Arm(0, INT64_MAX);
  player.SelectKrv(path, playback::Player::Select::kOpen);
  player.Open();
  Clock::time_point at;
  int64_t dts = 0;
  if (!first.Wait(10000, &at, &dts)) {
    std::fprintf(stderr, "seek_bench: no picture from %s\n", path);
    return 1;
  }
  std::vector<double> times;
  int64_t maxRead = 0;
  for (int t : targets) {
    first.Arm(static_cast<int64_t>(t) * 1000 - 2000, static_cast<int64_t>(t) * 1000 + 2000);
    const int64_t read0 = BytesRead();
    const Clock::time_point asked = Clock::now();
    player.Seek(t);
    if (!first.Wait(10000, &at, &dts)) {
      std::printf("target %d s: no picture within 10 s\n", t);
      times.push_back(10000);
      continue;
    }
    const int64_t read = BytesRead() - read0;
    const double ms = std::chrono::duration<double, std::milli>(at - asked).count();
    std::printf("target %d s: first picture at %.3f s after %.1f ms, %lld KB read\n", t, dts / 1000.0, ms,
                static_cast<long long>(read / 1024));
    std::fflush(stdout);
    times.push_back(ms);
    maxRead = std::max(maxRead, read);
  }
  player.Close();

  // The estimated seek alone, on a reader of its own: what it reads to find
  // the key frame (the player's reader goes on to fill the queues).
  int64_t maxSeekRead = 0;
  krv::Reader reader;
  if (reader.Open(path) && reader.Next() > 0) {
    for (int t : targets) {
      const int64_t read0 = BytesRead();
      reader.SeekKeyframeEstimate(static_cast<int64_t>(t) * 1000000);
      maxSeekRead = std::max(maxSeekRead, BytesRead() - read0);
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("median_ms %.1f max_ms %.1f max_read_kb %lld max_seek_read_kb %lld\n", times[times.size() / 2],
              times.back(), static_cast<long long>(maxRead / 1024), static_cast<long long>(maxSeekRead / 1024));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && !std::strcmp(argv[1], "repeat")) return Repeat(argv[2], argv[3], std::atoll(argv[4]));
  if (argc >= 4 && !std::strcmp(argv[1], "seek")) {
    std::vector<int> targets;
    for (int i = 3; i < argc; ++i) targets.push_back(std::atoi(argv[i]));
    return Seek(argv[2], targets);
  }
  std::fprintf(stderr, "usage: seek_bench repeat SRC.krv OUT.krv MEGABYTES | seek FILE.krv SECONDS...\n");
  return 2;
}
