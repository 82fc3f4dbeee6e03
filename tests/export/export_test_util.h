// Recordings, oracles and the headless player for the export tests: synth
// recordings (and rewrites of them with the container's writer), the ffmpeg
// and ffprobe command-line tools, krvtool framemd5 of the sources.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "headless_player.h"
#include "krv_writer_util.h"
#include "krvtool_run.h"
#include "playback_test_util.h"

namespace exporttest {

namespace fs = std::filesystem;
using playtest::TempDir;

// A rewrite of a synth KRV with the container's writer: channel c's
// packets shifted by c x shiftMs (key frames of the channels no longer
// together), the video rate given as `fps` (0: none), and `repeats` copies
// of the whole one after the other.
struct Rewrite {
  int shiftMs = 0;
  int fps = 25;
  bool fpsFraction00 = false;  // the rate as 0/0 (the writer stores 1,000,000)
  int repeats = 1;
  int width = 176;
  int height = 144;
};

inline void RewriteKrv(const std::string& src, const std::string& dst, const Rewrite& how,
                       int64_t startTime = 1388128183) {
  std::vector<playtest::Packet> all = playtest::ReadAll(src);
  ASSERT_FALSE(all.empty());
  int64_t span = 0;
  for (const auto& p : all) span = std::max(span, p.dts);
  span += 40000;
  std::vector<playtest::Packet> out;
  for (int r = 0; r < how.repeats; ++r)
    for (const auto& p : all) {
      playtest::Packet q = p;
      const int channel = p.id < 4 ? p.id : p.id < 8 ? p.id - 4 : 0;
      q.dts = p.dts + r * span + (p.id < 8 ? static_cast<int64_t>(channel) * how.shiftMs * 1000 : 0);
      out.push_back(std::move(q));
    }
  std::stable_sort(out.begin(), out.end(),
                   [](const playtest::Packet& a, const playtest::Packet& b) { return a.dts < b.dts; });
  std::vector<krvtest::StreamSpec> streams;
  for (int i = 0; i < 4; ++i) streams.push_back(krvtest::Video(how.width, how.height, how.fps));
  for (int i = 0; i < 4; ++i) streams.push_back(krvtest::Audio());
  streams.push_back(krvtest::Data());
  krvtest::Writing w(dst, streams, startTime);
  ASSERT_TRUE(w.opened);
  if (how.fpsFraction00)
    for (int i = 0; i < 4; ++i) w.ctx.streams[i]->r_frame_rate = {0, 0};
  ASSERT_EQ(w.Header(), 0);
  for (const auto& p : out) ASSERT_GE(w.Packet(p.id, p.dts, p.key, p.data), 0);
  w.Close();
}

// The MD5s of `krvtool framemd5` of a KRV channel, with their times.
struct Md5Line {
  int64_t ms = 0;
  std::string md5;
};

inline std::vector<Md5Line> SourceMd5(const std::string& krv, int channel) {
  krvtest::RunResult r = krvtest::RunShell(krvtest::KrvtoolPath() + " framemd5 " + krvtest::Quote(krv) +
                                           " --channel " + std::to_string(channel));
  EXPECT_EQ(r.code, 0) << r.err;
  std::vector<Md5Line> v;
  for (const std::string& l : r.Lines()) {
    std::istringstream s(l);
    Md5Line m;
    s >> m.ms >> m.md5;
    if (!m.md5.empty()) v.push_back(m);
  }
  return v;
}

// `ffmpeg -f framemd5` of an AVI's video (decoded to planar 4:2:0): the MD5
// with the picture's time in ms (its pts in frames x msPerFrame).
inline std::vector<Md5Line> AviMd5(const std::string& avi, int msPerFrame = 1) {
  krvtest::RunResult r = krvtest::RunShell("ffmpeg -v error -i " + krvtest::Quote(avi) +
                                           " -map 0:v -pix_fmt yuv420p -f framemd5 -");
  EXPECT_EQ(r.code, 0) << r.err;
  std::vector<Md5Line> v;
  for (const std::string& l : r.Lines()) {
    if (l.empty() || l[0] == '#') continue;
    // stream, dts, pts, duration, size, md5 (in the stream's time base)
    std::vector<std::string> f;
    std::istringstream s(l);
    for (std::string x; std::getline(s, x, ',');) {
      x.erase(0, x.find_first_not_of(' '));
      f.push_back(x);
    }
    if (f.size() < 6) continue;
    Md5Line m;
    m.ms = std::stoll(f[2]) * msPerFrame;
    m.md5 = f[5];
    v.push_back(m);
  }
  return v;
}

inline std::vector<std::string> Md5s(const std::vector<Md5Line>& v, int64_t fromMs, int64_t toMs) {
  std::vector<std::string> out;
  for (const Md5Line& m : v)
    if (m.ms >= fromMs && m.ms <= toMs) out.push_back(m.md5);
  return out;
}

// ffprobe's view of one stream: key=value pairs.
inline std::map<std::string, std::string> Probe(const std::string& file, const std::string& stream) {
  krvtest::RunResult r = krvtest::RunShell("ffprobe -v error -count_packets -select_streams " + stream +
                                           " -show_streams " + krvtest::Quote(file));
  EXPECT_EQ(r.code, 0) << r.err;
  std::map<std::string, std::string> m;
  for (const std::string& l : r.Lines()) {
    const size_t eq = l.find('=');
    if (eq != std::string::npos) m[l.substr(0, eq)] = l.substr(eq + 1);
  }
  return m;
}

// The packets of a stream as ffprobe reads them: (time, duration) in s,
// the time being the dts where there is no pts (AVI video).
inline std::vector<std::pair<double, double>> ProbePackets(const std::string& file, const std::string& stream) {
  krvtest::RunResult r = krvtest::RunShell("ffprobe -v error -select_streams " + stream +
                                           " -show_entries packet=pts_time,dts_time,duration_time -of csv=p=0 " +
                                           krvtest::Quote(file));
  EXPECT_EQ(r.code, 0) << r.err;
  std::vector<std::pair<double, double>> v;
  for (const std::string& l : r.Lines()) {
    std::vector<std::string> f;
    std::istringstream s(l);
    for (std::string x; std::getline(s, x, ',');) f.push_back(x);
    if (f.size() < 3) continue;
    const std::string& t = f[0] != "N/A" ? f[0] : f[1];
    if (t == "N/A" || f[2] == "N/A") continue;
    v.emplace_back(std::stod(t), std::stod(f[2]));
  }
  return v;
}

// The end of a stream as ffprobe sees it: last packet's time plus its duration, s.
inline double ProbeEnd(const std::string& file, const std::string& stream) {
  double end = 0;
  for (const auto& [t, d] : ProbePackets(file, stream)) end = std::max(end, t + d);
  return end;
}

// The sound stream's wave format header as the file holds it.
struct WaveFormat {
  int tag = -1, channels = -1, rate = -1, bytesPerSecond = -1, blockAlign = -1, bits = -1, extraBytes = -1;
  int samplesPerBlock = -1;
};

inline WaveFormat ReadWaveFormat(const std::string& avi) {
  const std::string bytes = krvtest::Slurp(avi);
  WaveFormat w;
  const size_t auds = bytes.find("auds");
  if (auds == std::string::npos) return w;
  const size_t strf = bytes.find("strf", auds);
  if (strf == std::string::npos || strf + 8 + 22 > bytes.size()) return w;
  auto u = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return static_cast<int>(v);
  };
  const size_t f = strf + 8;
  w.tag = u(f, 2);
  w.channels = u(f + 2, 2);
  w.rate = u(f + 4, 4);
  w.bytesPerSecond = u(f + 8, 4);
  w.blockAlign = u(f + 12, 2);
  w.bits = u(f + 14, 2);
  w.extraBytes = u(f + 16, 2);
  w.samplesPerBlock = u(f + 18, 2);
  return w;
}

// The sound stream of an export output: the header the table asks for,
// with the true figures (4060 samples in a 2036-byte block).
inline void ExpectAdpcmStream(const std::string& avi) {
  auto a = Probe(avi, "a");
  EXPECT_EQ(a["codec_name"], "adpcm_ms");
  EXPECT_EQ(a["sample_rate"], "8000");
  EXPECT_EQ(a["channels"], "1");
  const WaveFormat w = ReadWaveFormat(avi);
  EXPECT_EQ(w.tag, 2);
  EXPECT_EQ(w.channels, 1);
  EXPECT_EQ(w.rate, 8000);
  EXPECT_EQ(w.blockAlign, 2036);
  EXPECT_EQ(w.bits, 4);
  EXPECT_EQ(w.extraBytes, 32);
  EXPECT_EQ(w.samplesPerBlock, 4060);
  EXPECT_EQ(w.bytesPerSecond, 8000 * 2036 / 4060);
}

// Every file in a folder (names).
inline std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> v;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) v.push_back(e.path().filename().string());
  std::sort(v.begin(), v.end());
  return v;
}

// A headless player (null sound) running one export to its end.
inline avexport::ExportResult RunExport(krvplayer::HeadlessPlayer& p, const avexport::ExportRequest& request,
                                        int timeoutMs = 60000) {
  const int64_t before = p.ExportsEnded();
  const std::string refused = p.Export(request);
  EXPECT_EQ(refused, "");
  avexport::ExportResult r;
  EXPECT_TRUE(p.WaitForExportEnd(timeoutMs, before, &r));
  return r;
}

// A request for the stretch from `from` to `to` (seconds), with an output
// path for each channel given.
inline avexport::ExportRequest Stretch(int from, int to,
                                       std::initializer_list<std::pair<int, std::string>> outputs) {
  avexport::ExportRequest request;
  request.startSecond = from;
  request.endSecond = to;
  for (const auto& [channel, path] : outputs) request.outputs[channel] = path;
  return request;
}

inline krvplayer::HeadlessPlayer::Options NullSound() {
  krvplayer::HeadlessPlayer::Options o;
  o.nullSound = true;
  return o;
}

}  // namespace exporttest
