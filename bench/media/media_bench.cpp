// Measures, in one run:
//   sleep  msSleep accuracy: 1000 sleeps of 1 to 40 ms; median and 99th
//          percentile of (slept - asked), with the ordinary sleep beside it
//          when given --ordinary;
//   h264   single-thread H.264 decode rate of ACH264Decoder beside
//          `ffmpeg -threads 1` decoding the same stream, and their ratio;
//   decode [--paced FPS [--batch N]] WxH FILE...  the CPU time of decoding
//          Annex B streams alone; with --paced, the streams at FPS pictures
//          a second each, sleeping in between: N pictures of every stream in
//          turn each N/FPS s (N = 1 unless given; playback at x1 refills its
//          picture pools twelve pictures at a time).
// With no argument both run.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/ac_h264_decoder.h"
#include "media/ac_sync.h"
#include "media/ms_sleep.h"

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

namespace {

double msBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
  return v[i];
}

template <typename SleepFn>
void sleepAccuracy(const char* name, SleepFn sleep) {
  std::vector<double> errors;
  errors.reserve(1000);
  for (int i = 0; i < 1000; ++i) {
    const int ms = 1 + (i * 7) % 40;  // every length 1..40, 25 times, mixed
    const auto t0 = Clock::now();
    sleep(ms);
    errors.push_back(msBetween(t0, Clock::now()) - ms);
  }
  std::printf("%-14s 1000 sleeps of 1..40 ms: error median %+.3f ms, p99 %+.3f ms, min %+.3f, max %+.3f\n", name,
              percentile(errors, 0.5), percentile(errors, 0.99), *std::min_element(errors.begin(), errors.end()),
              *std::max_element(errors.begin(), errors.end()));
}

std::vector<Bytes> splitAccessUnits(const Bytes& s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
      starts.push_back(i > 0 && s[i - 1] == 0 ? i - 1 : i);
      i += 2;
    }
  std::vector<Bytes> units;
  Bytes cur;
  bool hasSlice = false;
  for (size_t k = 0; k < starts.size(); ++k) {
    const size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
    size_t h = starts[k];
    while (s[h] == 0) ++h;
    ++h;  // the 1 of the start code; s[h] is the NAL header
    const int type = h < end ? (s[h] & 0x1F) : -1;
    const bool slice = type == 1 || type == 5;
    const bool firstSlice = slice && h + 1 < end && (s[h + 1] & 0x80);
    if ((type == 6 || type == 7 || type == 8 || type == 9 || firstSlice) && hasSlice) {
      units.push_back(cur);
      cur.clear();
      hasSlice = false;
    }
    cur.insert(cur.end(), s.begin() + static_cast<ptrdiff_t>(starts[k]), s.begin() + static_cast<ptrdiff_t>(end));
    hasSlice = hasSlice || slice;
  }
  if (!cur.empty()) units.push_back(cur);
  return units;
}

int h264Rate() {
  const std::string dir = (std::filesystem::temp_directory_path() / ("media_bench." + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  const std::string stream = dir + "/bench.h264";
  const int frames = 500;
  const std::string make =
      "ffmpeg -nostdin -v error -y -f lavfi -i 'testsrc2=size=704x576:rate=25,noise=alls=12:allf=t+u' -frames:v " +
      std::to_string(frames) +
      " -c:v libx264 -profile:v main -pix_fmt yuv420p -bf 0 -g 25 -b:v 1500k -f h264 '" + stream + "'";
  if (std::system(make.c_str()) != 0) {
    std::fprintf(stderr, "media_bench: could not make the test stream with ffmpeg\n");
    return 1;
  }
  std::ifstream in(stream, std::ios::binary);
  const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto units = splitAccessUnits(data);
  std::printf("stream: 704x576 H.264 main, %zu access units, %.0f kbit/s at 25 fps\n", units.size(),
              data.size() * 8.0 / (units.size() / 25.0) / 1000.0);

  // Ours: one decoder, one thread, CodecLock around each call as the decode
  // threads hold it; best of three passes.
  double oursMs = 1e30;
  std::vector<unsigned char> out(704 * 576 * 3 / 2);
  for (int pass = 0; pass < 3; ++pass) {
    media::ACH264Decoder d;
    int pictures = 0;
    const auto t0 = Clock::now();
    for (const Bytes& u : units) {
      int len = 0;
      std::lock_guard<media::ACCriticalSection> g(media::CodecLock);
      if (d.Decode(0, u.data(), static_cast<int>(u.size()), &len, 704, 576, out.data()) && d.LastHadPicture())
        ++pictures;
    }
    oursMs = std::min(oursMs, msBetween(t0, Clock::now()));
    if (pictures != static_cast<int>(units.size())) std::fprintf(stderr, "warning: %d pictures\n", pictures);
  }

  // ffmpeg: the same file, one decoding thread, output thrown away, timed
  // from outside the process. Its start-up and probing are taken out by
  // timing the first 25 frames alone and counting only the difference.
  const size_t headFrames = 25;
  const std::string head = dir + "/head.h264";
  {
    std::ofstream h(head, std::ios::binary);
    for (size_t i = 0; i < headFrames && i < units.size(); ++i)
      h.write(reinterpret_cast<const char*>(units[i].data()), static_cast<std::streamsize>(units[i].size()));
  }
  auto timeFfmpeg = [](const std::string& file) {
    const std::string run = "ffmpeg -nostdin -v error -threads 1 -i '" + file + "' -f null - ";
    double best = 1e30;
    for (int pass = 0; pass < 3; ++pass) {
      const auto t0 = Clock::now();
      if (std::system(run.c_str()) != 0) return -1.0;
      best = std::min(best, msBetween(t0, Clock::now()));
    }
    return best;
  };
  const double fullMs = timeFfmpeg(stream);
  const double headMs = timeFfmpeg(head);
  if (fullMs < 0 || headMs < 0) {
    std::fprintf(stderr, "media_bench: ffmpeg failed\n");
    return 1;
  }
  const double ffmpegMs = fullMs - headMs;
  const size_t ffmpegFrames = units.size() - headFrames;
  std::filesystem::remove_all(dir);

  const double oursFps = units.size() / (oursMs / 1000.0);
  const double ffmpegFps = ffmpegFrames / (ffmpegMs / 1000.0);
  std::printf("ACH264Decoder  %7.1f frames/s (%zu frames in %.0f ms, one thread)\n", oursFps, units.size(), oursMs);
  std::printf("ffmpeg -threads 1 %7.1f frames/s (%zu frames in %.0f ms: %.0f ms for all %zu less %.0f ms for the "
              "first %zu)\n",
              ffmpegFps, ffmpegFrames, ffmpegMs, fullMs, units.size(), headMs, headFrames);
  std::printf("ratio ours / ffmpeg: %.2f\n", oursFps / ffmpegFps);
  return 0;
}

// The CPU time of decoding Annex B streams alone (each with its own
// ACH264Decoder, one thread, CodecLock held as the decode threads hold it):
// the floor that playing the same packets is compared with. With fps > 0 the
// streams are decoded in turn, one picture of each every 1/fps s (the thread
// sleeping in between), as playback at x1 decodes them: a decoder that runs
// a picture at a time after a sleep costs more than one that runs hot.
int decodeCpu(const std::vector<std::string>& files, int width, int height, int fps, int batch) {
  std::vector<std::vector<Bytes>> streams;
  for (const std::string& f : files) {
    std::ifstream in(f, std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    streams.push_back(splitAccessUnits(data));
  }
  std::vector<unsigned char> out(static_cast<size_t>(width) * height * 3 / 2);
  rusage u0{}, u1{};
  getrusage(RUSAGE_SELF, &u0);
  const auto t0 = Clock::now();
  int pictures = 0;
  auto decode = [&](media::ACH264Decoder& d, const Bytes& unit) {
    int len = 0;
    std::lock_guard<media::ACCriticalSection> g(media::CodecLock);
    if (d.Decode(0, unit.data(), static_cast<int>(unit.size()), &len, width, height, out.data()) &&
        d.LastHadPicture())
      ++pictures;
  };
  if (fps > 0) {
    std::vector<media::ACH264Decoder> decoders(streams.size());
    size_t longest = 0;
    for (const auto& units : streams) longest = std::max(longest, units.size());
    for (size_t i = 0; i < longest; i += static_cast<size_t>(batch)) {
      std::this_thread::sleep_until(t0 + std::chrono::microseconds(static_cast<int64_t>(i) * 1000000 / fps));
      for (size_t s = 0; s < streams.size(); ++s)
        for (size_t j = i; j < i + static_cast<size_t>(batch) && j < streams[s].size(); ++j)
          decode(decoders[s], streams[s][j]);
    }
  } else {
    for (const auto& units : streams) {
      media::ACH264Decoder d;
      for (const Bytes& unit : units) decode(d, unit);
    }
  }
  const double wallMs = msBetween(t0, Clock::now());
  getrusage(RUSAGE_SELF, &u1);
  auto sec = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  const double cpu = sec(u1.ru_utime) - sec(u0.ru_utime) + sec(u1.ru_stime) - sec(u0.ru_stime);
  std::printf("decode: %d pictures from %zu streams, cpu_ms %.1f, wall_ms %.1f\n", pictures, streams.size(),
              cpu * 1000.0, wallMs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool sleep = argc == 1, h264 = argc == 1, ordinary = false;
  if (argc >= 4 && std::string(argv[1]) == "decode") {
    // media_bench decode [--paced FPS [--batch N]] WxH FILE...: see decodeCpu.
    int first = 2, fps = 0, batch = 1;
    if (std::string(argv[2]) == "--paced") {
      if (argc < 6 || std::sscanf(argv[3], "%d", &fps) != 1 || fps < 1 || fps > 1000) return 2;
      first = 4;
      if (std::string(argv[4]) == "--batch") {
        if (argc < 8 || std::sscanf(argv[5], "%d", &batch) != 1 || batch < 1 || batch > 1000) return 2;
        first = 6;
      }
    }
    int w = 0, h = 0;
    if (std::sscanf(argv[first], "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 704 || h > 576) return 2;
    return decodeCpu(std::vector<std::string>(argv + first + 1, argv + argc), w, h, fps, batch);
  }
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "sleep") sleep = true;
    else if (a == "h264") h264 = true;
    else if (a == "--ordinary") ordinary = true;
    else {
      std::fprintf(stderr, "usage: media_bench [sleep] [h264] [--ordinary] | decode [--paced FPS [--batch N]] WxH FILE.h264...\n");
      return 2;
    }
  }
  if (sleep) {
    media::msSleep s;
    if (s.Start() != 1) {
      std::fprintf(stderr, "media_bench: no 1 ms timer\n");
      return 1;
    }
    sleepAccuracy("msSleep", [&](int ms) { s.Sleep(ms); });
    s.Stop();
    if (ordinary)
      sleepAccuracy("sleep_for", [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
  }
  if (h264 && h264Rate() != 0) return 1;
  return 0;
}
