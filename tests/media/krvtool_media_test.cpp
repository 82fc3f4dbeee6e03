// krvtool extract and framemd5 on whole recordings written by krvtool synth:
// the pipeline's decoders give, picture for picture and frame for frame,
// what the ffmpeg tool makes of the extracted streams.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "krvtool_run.h"
#include "media_test_data.h"

using namespace mediatest;

namespace {

// A scratch path of this process.
std::string scratch(const std::string& name) {
  return (std::filesystem::temp_directory_path() / (name + "." + std::to_string(getpid()))).string();
}

struct Line {
  long long dtsMs;
  std::string md5;
};

std::vector<Line> parseLines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  Line l;
  while (in >> l.dtsMs >> l.md5) lines.push_back(l);
  return lines;
}

void put(Bytes& to, const Bytes& b) { to.insert(to.end(), b.begin(), b.end()); }
Bytes le16(int v) { return {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF)}; }
Bytes le32(uint32_t v) {
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

// A mono 8000 Hz IMA ADPCM WAV file around raw blocks.
Bytes imaWav(const Bytes& blocks, int blockAlign) {
  const int samplesPerBlock = 1 + (blockAlign - 4) * 2;
  Bytes fmt;
  for (const Bytes& b : {le16(0x11), le16(1), le32(8000),
                         le32(static_cast<uint32_t>(8000LL * blockAlign / samplesPerBlock)), le16(blockAlign),
                         le16(4), le16(2), le16(samplesPerBlock)})
    put(fmt, b);
  Bytes wav = {'R', 'I', 'F', 'F'};
  put(wav, le32(static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + blocks.size())));
  put(wav, {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(wav, le32(static_cast<uint32_t>(fmt.size())));
  put(wav, fmt);
  put(wav, {'d', 'a', 't', 'a'});
  put(wav, le32(static_cast<uint32_t>(blocks.size())));
  put(wav, blocks);
  return wav;
}

}  // namespace

TEST(KrvtoolMediaTest, PictureChecksumsEqualFfmpegOnTheExtractedStream) {
  const std::string rec = Ensure("synth_2ch.krv", krvtest::KrvtoolPath() + " synth %OUT% --seconds 3 --size 352x288 --fps 25 "
                                                              "--gop 10 --channels 2 --start 20240102030405 --seed 7");
  ASSERT_FALSE(rec.empty()) << "krvtool synth failed";
  for (int channel : {0, 1}) {
    const std::string h264 = scratch("extract_ch" + std::to_string(channel)) + ".h264";
    ASSERT_EQ(krvtest::Krvtool({"extract", rec, "--stream", std::to_string(channel), "-o", h264}).code, 0);
    const auto expected = FfmpegFrameMd5(h264);
    std::remove(h264.c_str());
    ASSERT_EQ(expected.size(), 75u) << "3 s at 25 fps";

    const krvtest::RunResult md5 = krvtest::Krvtool({"framemd5", rec, "--channel", std::to_string(channel)});
    ASSERT_EQ(md5.code, 0) << md5.err;
    const auto lines = parseLines(md5.out);
    ASSERT_EQ(lines.size(), expected.size()) << channel;
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].md5, expected[i]) << "channel " << channel << " picture " << i;
      EXPECT_EQ(lines[i].dtsMs, static_cast<long long>(i) * 40) << "channel " << channel << " picture " << i;
    }
  }
}

// A `krvtool synth --audio hisi` recording: channel 0's HiSilicon voice frames
// (481 samples, 1/8000 s each, in stream 4) decode as ffmpeg decodes the same
// IMA ADPCM blocks, frame by frame, at the frames' times.
TEST(KrvtoolMediaTest, SynthesisedHiSiliconVoiceRecordingDecodesAsFfmpegDecodesItsBlocks) {
  const std::string rec = scratch("synth_hisi") + ".krv";
  ASSERT_EQ(krvtest::Krvtool({"synth", rec, "--audio", "hisi", "--seconds", "4", "--size", "64x48", "--channels", "2",
                             "--no-data"}).code, 0);
  const int frames = 4 * 8000 / 481;
  const krvtest::RunResult dumped = krvtest::Krvtool({"dump", rec});
  ASSERT_EQ(dumped.code, 0) << dumped.err;
  const std::string& dump = dumped.out;
  // The audio streams name the voice codec in the metadata.
  EXPECT_NE(dump.find("\nstream 4 4 a 69632 "), std::string::npos) << dump.substr(dump.size() > 2000 ? dump.size() - 2000 : 0);

  const std::string raw = rec + ".voice";
  ASSERT_EQ(krvtest::Krvtool({"extract", rec, "--stream", "4", "-o", raw}).code, 0);
  const krvtest::RunResult md5 = krvtest::Krvtool({"framemd5", rec, "--channel", "0", "--audio"});
  ASSERT_EQ(md5.code, 0) << md5.err;
  const std::string& out = md5.out;
  std::remove(rec.c_str());
  const Bytes voice = ReadFile(raw);
  std::remove(raw.c_str());
  ASSERT_EQ(voice.size(), static_cast<size_t>(frames) * 248);

  // The frames' payloads without their 4-byte headers are IMA ADPCM blocks
  // of 244 bytes, which ffmpeg decodes on its own.
  Bytes blocks;
  for (size_t at = 0; at < voice.size(); at += 248) {
    ASSERT_EQ(voice[at + 2], 122);
    blocks.insert(blocks.end(), voice.begin() + static_cast<ptrdiff_t>(at + 4),
                  voice.begin() + static_cast<ptrdiff_t>(at + 248));
  }
  const std::string wav = raw + ".wav";
  {
    const Bytes file = imaWav(blocks, 244);
    std::ofstream(wav, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                               static_cast<std::streamsize>(file.size()));
  }
  const auto samples = FfmpegDecodeS16(wav);
  std::remove(wav.c_str());
  ASSERT_EQ(samples.size(), static_cast<size_t>(frames) * 481);

  const auto lines = parseLines(out);
  ASSERT_EQ(lines.size(), static_cast<size_t>(frames));
  for (int n = 0; n < frames; ++n) {
    const auto* p = reinterpret_cast<const unsigned char*>(samples.data() + n * 481);
    EXPECT_EQ(lines[static_cast<size_t>(n)].md5, Md5Hex(p, 481 * 2)) << "frame " << n;
    EXPECT_EQ(lines[static_cast<size_t>(n)].dtsMs, static_cast<long long>(n) * 481 * 1000 / 8000) << "frame " << n;
  }
}
