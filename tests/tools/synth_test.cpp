// krvtool synth and synth-folder: what the recordings carry, decoded by the
// ffmpeg command-line tool; the same arguments give the same bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <set>

#include "krvtool_run.h"
#include "synth/adpcm_ms.h"
#include "tests/krvreader/krv_test_util.h"

using namespace krvtest;

namespace {

using Synth = TempPaths;

// The payloads of one stream end to end, read as the reader thread reads them.
Bytes StreamBytes(const std::string& path, int id) {
  Reading r(path);
  Bytes b;
  for (const auto& p : r.All())
    if (p.id == id) b.insert(b.end(), p.data.begin(), p.data.end());
  return b;
}

// A WAV file of Microsoft ADPCM blocks (mono, 8 kHz, 2036-byte blocks).
Bytes AdpcmWav(const Bytes& blocks) {
  const std::vector<uint8_t> extra = krvsynth::AdpcmMsExtradata(krvsynth::kAdpcmBlockSamples);
  Bytes b;
  auto le = [&](size_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> 8 * i));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i]));
  };
  tag("RIFF"), le(4 + 8 + 18 + extra.size() + 8 + blocks.size(), 4), tag("WAVE");
  tag("fmt "), le(18 + extra.size(), 4);
  le(2, 2), le(1, 2), le(8000, 4);  // Microsoft ADPCM, mono, 8 kHz
  le(8000 * krvsynth::kAdpcmBlockBytes / krvsynth::kAdpcmBlockSamples, 4), le(krvsynth::kAdpcmBlockBytes, 2);
  le(4, 2), le(extra.size(), 2);  // bits per sample, extra bytes
  b.insert(b.end(), extra.begin(), extra.end());
  tag("data"), le(blocks.size(), 4);
  b.insert(b.end(), blocks.begin(), blocks.end());
  return b;
}

std::vector<int16_t> FfmpegDecodeToS16(const std::string& input, const std::string& extra = "") {
  std::string raw = input + ".s16";
  RunResult r = RunShell("ffmpeg -nostdin -hide_banner -loglevel error -y " + extra + " -i " + Quote(input) +
                         " -map 0:a:0 -f s16le -acodec pcm_s16le " + Quote(raw));
  EXPECT_EQ(r.code, 0) << r.err;
  Bytes b = ReadFile(raw);
  std::remove(raw.c_str());
  std::vector<int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

// Zero crossings per second of a tone: twice its frequency.
double CrossingsPerSecond(const std::vector<int16_t>& s) {
  int n = 0;
  for (size_t i = 1; i < s.size(); ++i)
    if ((s[i - 1] < 0) != (s[i] < 0)) ++n;
  return n * 8000.0 / static_cast<double>(s.size());
}

TEST(AdpcmEncoder, FfmpegDecodesItsBlocksToExactlyTheSamplesItReconstructs) {
  const int blocks = 4, n = blocks * krvsynth::kAdpcmBlockSamples;
  std::vector<int16_t> pcm(n);
  uint32_t x = 1;
  for (int i = 0; i < n; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    double t = i / 8000.0;
    double v = i < n / 4 ? 9000 * std::sin(2 * M_PI * 440 * t)            // tone
               : i < n / 2 ? static_cast<int16_t>(x) / 4.0                  // noise
               : i < 3 * n / 4 ? ((i / 40) % 2 ? 32767.0 : -32768.0)        // full-scale square
                              : 0.0;                                        // silence
    pcm[i] = static_cast<int16_t>(v);
  }
  Bytes encoded(static_cast<size_t>(blocks) * krvsynth::kAdpcmBlockBytes);
  std::vector<int16_t> reconstructed(n);
  for (int k = 0; k < blocks; ++k)
    krvsynth::EncodeAdpcmMsBlock(pcm.data() + k * krvsynth::kAdpcmBlockSamples, krvsynth::kAdpcmBlockBytes,
                                 encoded.data() + k * krvsynth::kAdpcmBlockBytes,
                                 reconstructed.data() + k * krvsynth::kAdpcmBlockSamples);
  std::string wav = TempPath("adpcm.wav");
  WriteFile(wav, AdpcmWav(encoded));
  std::vector<int16_t> decoded = FfmpegDecodeToS16(wav);
  std::remove(wav.c_str());
  ASSERT_EQ(decoded.size(), reconstructed.size());
  EXPECT_TRUE(decoded == reconstructed);
  // And the tone survives the coding.
  double err = 0, sig = 0;
  for (int i = 2; i < n / 4; ++i) {
    err += std::pow(decoded[i] - pcm[i], 2);
    sig += std::pow(pcm[i], 2);
  }
  EXPECT_LT(err / sig, 0.01);
}

TEST_F(Synth, SameArgumentsGiveTheSameBytes) {
  std::vector<std::string> args = {"--seconds", "2", "--size", "48x32", "--channels", "2"};
  auto make = [&](const std::string& name, std::vector<std::string> extra) {
    std::string p = Temp(name);
    std::vector<std::string> a = {"synth", p};
    a.insert(a.end(), args.begin(), args.end());
    a.insert(a.end(), extra.begin(), extra.end());
    EXPECT_EQ(Krvtool(a).code, 0);
    return ReadFile(p);
  };
  Bytes a = make("a.krv", {"--start", "20240101000000"});
  Bytes b = make("b.krv", {"--start", "20240101000000"});
  Bytes c = make("c.krv", {"--start", "20240101000000", "--seed", "2"});
  Bytes d = make("d.krv", {});
  Bytes e = make("e.krv", {});
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == c);
  // Without --start "start_time" is the current time: only its 8 bytes may differ.
  ASSERT_EQ(d.size(), e.size());
  int differing = 0;
  for (size_t i = 0; i < d.size(); ++i) differing += d[i] != e[i];
  EXPECT_LE(differing, 8);
}

// Every channel's H.264 decodes with ffmpeg, one picture per packet, every
// picture different, and no channel looks like another.
TEST_F(Synth, VideoDecodesWithFfmpegToDistinctPictures) {
  std::string path = Temp("video.krv");
  ASSERT_EQ(Krvtool({"synth", path, "--seconds", "2", "--size", "96x64", "--channels", "2", "--start",
                     "20240315083000"})
                .code,
            0);
  std::vector<std::set<std::string>> md5s(2);
  for (int c = 0; c < 2; ++c) {
    std::string es = Temp("ch" + std::to_string(c) + ".h264");
    WriteFile(es, StreamBytes(path, c));
    RunResult probe = RunShell("ffprobe -v error -show_streams " + Quote(es));
    EXPECT_NE(probe.out.find("has_b_frames=0"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("codec_name=h264"), std::string::npos);
    RunResult fm = RunShell("ffmpeg -nostdin -hide_banner -loglevel error -i " + Quote(es) + " -f framemd5 -");
    ASSERT_EQ(fm.code, 0) << fm.err;
    std::regex line(R"(0,\s*\d+,\s*\d+,\s*\d+,\s*\d+,\s*([0-9a-f]{32}))");
    int frames = 0;
    for (const auto& l : fm.Lines()) {
      std::smatch m;
      if (std::regex_match(l, m, line)) {
        ++frames;
        md5s[c].insert(m[1]);
      }
    }
    EXPECT_EQ(frames, 50) << "channel " << c;
    EXPECT_EQ(md5s[c].size(), 50u) << "every picture differs";
  }
  for (const auto& m : md5s[0]) EXPECT_EQ(md5s[1].count(m), 0u);
}

TEST_F(Synth, SoundDecodesWithFfmpegAsOneTonePerChannel) {
  std::string path = Temp("sound.krv");
  ASSERT_EQ(Krvtool({"synth", path, "--seconds", "3", "--size", "32x32", "--channels", "2"}).code, 0);
  for (int c = 0; c < 2; ++c) {
    std::string wav = Temp("ch" + std::to_string(c) + ".wav");
    WriteFile(wav, AdpcmWav(StreamBytes(path, 4 + c)));
    std::vector<int16_t> s = FfmpegDecodeToS16(wav);
    ASSERT_EQ(s.size(), 5u * 4060);
    EXPECT_NEAR(CrossingsPerSecond(s), 2 * (400 + 200 * c), 10) << "channel " << c;
  }
}

TEST_F(Synth, DemoFolderHoldsKrvAndAviRecordingsNamedAsTheRecorderNamesThem) {
  std::string dir = Temp("demo");
  RunResult r = Krvtool({"synth-folder", dir, "--size", "32x32", "--seed", "3"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::vector<std::string> files = r.Lines();
  std::regex krvName(R"(.*/(\d{8})/(\d{8})(\d{6})_([0-9a-f]{4})\.krv)");
  std::regex aviName(R"(.*/(\d{8})/(\d{8})(\d{6})_([0-9a-f]{4})_(\d{2})\.avi)");
  std::set<std::string> days, types;
  int krv = 0, avi = 0;
  for (const auto& f : files) {
    std::smatch m;
    if (std::regex_match(f, m, krvName)) {
      ++krv;
      EXPECT_EQ(m[1], m[2]) << "in its date folder";
      days.insert(m[1]);
      types.insert(m[4]);
      RunResult p = Krvtool({"probe", f});
      std::smatch d;
      ASSERT_TRUE(std::regex_search(p.out, d, std::regex(R"("duration_us": (\d+))")));
      long long us = std::stoll(d[1]);
      EXPECT_GE(us, 20000000);
      EXPECT_LE(us, 60000000);
    } else if (std::regex_match(f, m, aviName)) {
      ++avi;
      RunResult p = RunShell("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,width -of csv " +
                             Quote(f));
      EXPECT_EQ(p.out, "stream,h264,32\nstream,adpcm_ms,8000,1\n") << f;
    } else {
      ADD_FAILURE() << "unexpected file " << f;
    }
  }
  EXPECT_GE(krv, 6);
  EXPECT_EQ(avi, 4);
  EXPECT_EQ(days.size(), 2u);
  unsigned covered = 0;
  for (const auto& t : types)
    for (int i = 0; i < 4; ++i)
      if (t[i] != '0') covered |= 8u >> i;
  EXPECT_EQ(covered, 15u) << "manual, timing, motion and alarm";
  // One AVI channel decodes whole: 20 s of pictures and of sound.
  RunResult fm = RunShell("ffmpeg -nostdin -hide_banner -loglevel error -i " + Quote(files.back()) +
                          " -map 0:v -f framemd5 - | grep -c '^0,'");
  EXPECT_EQ(fm.out, "500\n");
  EXPECT_EQ(FfmpegDecodeToS16(files.back()).size(), 39u * 4060);
}

}  // namespace
