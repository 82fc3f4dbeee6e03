// krvtool extract and framemd5 on whole recordings written by krvtool synth:
// the pipeline's decoders give, picture for picture and block for block,
// what the ffmpeg tool makes of the extracted streams.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "krvreader/krv.h"
#include "media/hi_voice.h"
#include "media_test_data.h"

using namespace mediatest;

namespace {

std::string krvtool() {
  const char* build = std::getenv("CORVANE_BUILD_DIR");
  return std::string(build != nullptr ? build : ".") + "/tools/krvtool";
}

// Runs krvtool with `args`; its exit code, stdout in *out.
int krvtoolRun(const std::string& args, std::string* out = nullptr) {
  const std::string captured = DataDir() + "/krvtool_out." + std::to_string(getpid());
  const int rc = std::system((krvtool() + " " + args + " >'" + captured + "' 2>/dev/null").c_str());
  if (out != nullptr) {
    const Bytes b = ReadFile(captured);
    out->assign(b.begin(), b.end());
  }
  std::remove(captured.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
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

// A 3-second recording of two channels, 352 x 288, key frame every 10.
std::string recording() {
  return Ensure("synth_2ch.krv", krvtool() + " synth %OUT% --seconds 3 --size 352x288 --fps 25 --gop 10 "
                                             "--channels 2 --start 20240102030405 --seed 7");
}

Bytes le16(int v) { return {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF)}; }
Bytes le32(uint32_t v) {
  return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
          static_cast<unsigned char>(v >> 24)};
}

// A mono 8000 Hz Microsoft ADPCM WAV file around raw blocks.
Bytes msAdpcmWav(const Bytes& blocks, int blockAlign) {
  const int samplesPerBlock = 2 + (blockAlign - 7) * 2;
  Bytes fmt;
  auto put = [](Bytes& to, const Bytes& b) { to.insert(to.end(), b.begin(), b.end()); };
  put(fmt, le16(2));
  put(fmt, le16(1));
  put(fmt, le32(8000));
  put(fmt, le32(static_cast<uint32_t>(8000LL * blockAlign / samplesPerBlock)));
  put(fmt, le16(blockAlign));
  put(fmt, le16(4));
  put(fmt, le16(32));
  put(fmt, le16(samplesPerBlock));
  put(fmt, le16(7));
  const int coefficients[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  for (const auto& c : coefficients) {
    put(fmt, le16(c[0] & 0xFFFF));
    put(fmt, le16(c[1] & 0xFFFF));
  }
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

// A mono 8000 Hz IMA ADPCM WAV file around raw blocks.
Bytes imaWav(const Bytes& blocks, int blockAlign) {
  const int samplesPerBlock = 1 + (blockAlign - 4) * 2;
  Bytes fmt;
  auto put = [](Bytes& to, const Bytes& b) { to.insert(to.end(), b.begin(), b.end()); };
  put(fmt, le16(0x11));
  put(fmt, le16(1));
  put(fmt, le32(8000));
  put(fmt, le32(static_cast<uint32_t>(8000LL * blockAlign / samplesPerBlock)));
  put(fmt, le16(blockAlign));
  put(fmt, le16(4));
  put(fmt, le16(2));
  put(fmt, le16(samplesPerBlock));
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

// Writes a recording whose audio channel 0 (stream 4) carries `frames`
// HiSilicon voice frames of 481 samples made by our encoder, with the
// container's writer. Empty on failure.
std::string hisiRecording(int frames) {
  const std::string path = DataDir() + "/hisi_voice." + std::to_string(getpid()) + ".krv";
  krv::RecordingContext ctx{};
  if (krv::url_fopen(&ctx.pb, path.c_str(), krv::URL_WRONLY) < 0) return "";
  std::snprintf(ctx.filename, sizeof ctx.filename, "%s", path.c_str());
  bool ok = true;
  for (int i = 0; i < 8 && ok; ++i) {
    krv::RecordingStream* st = krv::av_new_stream(&ctx, i);
    ok = st != nullptr;
    if (!ok) break;
    if (i < 4) {
      st->kind = krv::KIND_VIDEO;
      st->codec_id = krv::CODEC_H264;
      ++ctx.nb_video_streams;
    } else {
      st->kind = krv::KIND_AUDIO;
      st->codec_id = krv::CODEC_HISI_VOICE;
      st->sample_rate = 8000;
      st->channels = 1;
      st->bits_per_sample = 16;
      ++ctx.nb_audio_streams;
    }
  }
  ok = ok && krv::krv_write_header(&ctx) >= 0;
  unsigned char state[HI_VOICE_STATE_BYTES];
  ok = ok && HI_VOICE_EncReset(state, 35) == 0;
  std::vector<int16_t> pcm(481);
  uint32_t noise = 5;
  for (int n = 0; n < frames && ok; ++n) {
    for (int i = 0; i < 481; ++i) {
      noise = noise * 1103515245u + 12345u;
      const double t = (n * 481 + i) / 8000.0;
      pcm[static_cast<size_t>(i)] =
          static_cast<int16_t>(9000 * std::sin(2 * M_PI * 523 * t) + static_cast<int>((noise >> 16) % 801) - 400);
    }
    unsigned char frame[HI_VOICE_MAX_FRAME_BYTES];
    int bytes = sizeof frame;
    ok = HI_VOICE_EncodeFrame(state, pcm.data(), 481, frame, &bytes) == 0;
    krv::RecordingPacket pkt{};
    pkt.data = frame;
    pkt.size = bytes;
    pkt.stream_index = 4;
    pkt.dts = pkt.pts = static_cast<int64_t>(n) * 481 * 1000000 / 8000;
    pkt.flags = krv::PKT_FLAG_KEY;
    ok = ok && krv::krv_write_packet(&ctx, &pkt) >= 0;
  }
  ok = ok && krv::krv_write_trailer(&ctx) >= 0;
  krv::krv_read_close(&ctx);
  if (ctx.pb != nullptr) krv::url_fclose(ctx.pb);
  if (!ok) std::remove(path.c_str());
  return ok ? path : "";
}

}  // namespace

TEST(KrvtoolMediaTest, PictureChecksumsEqualFfmpegOnTheExtractedStream) {
  const std::string rec = recording();
  ASSERT_FALSE(rec.empty()) << "krvtool synth failed";
  for (int channel : {0, 1}) {
    const std::string h264 = DataDir() + "/extract_ch" + std::to_string(channel) + "." + std::to_string(getpid()) +
                             ".h264";
    ASSERT_EQ(krvtoolRun("extract '" + rec + "' --stream " + std::to_string(channel) + " -o '" + h264 + "'"), 0);
    const auto expected = FfmpegFrameMd5(h264);
    std::remove(h264.c_str());
    ASSERT_EQ(expected.size(), 75u) << "3 s at 25 fps";

    std::string out;
    ASSERT_EQ(krvtoolRun("framemd5 '" + rec + "' --channel " + std::to_string(channel), &out), 0);
    const auto lines = parseLines(out);
    ASSERT_EQ(lines.size(), expected.size()) << channel;
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].md5, expected[i]) << "channel " << channel << " picture " << i;
      EXPECT_EQ(lines[i].dtsMs, static_cast<long long>(i) * 40) << "channel " << channel << " picture " << i;
    }
  }
}

TEST(KrvtoolMediaTest, AdpcmBlocksEqualFfmpegsDecode) {
  const std::string rec = recording();
  ASSERT_FALSE(rec.empty()) << "krvtool synth failed";
  const int channel = 1;
  const std::string raw = DataDir() + "/extract_a" + std::to_string(channel) + "." + std::to_string(getpid());
  ASSERT_EQ(krvtoolRun("extract '" + rec + "' --stream " + std::to_string(4 + channel) + " -o '" + raw + "'"), 0);
  const Bytes blocks = ReadFile(raw);
  std::remove(raw.c_str());
  const int blockAlign = 2036;  // the recorder's (and synth's) block
  ASSERT_GT(blocks.size(), 0u);
  ASSERT_EQ(blocks.size() % blockAlign, 0u);

  const std::string wav = raw + ".wav";
  ASSERT_TRUE(WriteFile(wav, msAdpcmWav(blocks, blockAlign)));
  const auto samples = FfmpegDecodeS16(wav);
  std::remove(wav.c_str());
  const size_t perBlock = 2 + (blockAlign - 7) * 2;
  const size_t count = blocks.size() / blockAlign;
  ASSERT_EQ(samples.size(), count * perBlock);

  std::string out;
  ASSERT_EQ(krvtoolRun("framemd5 '" + rec + "' --channel " + std::to_string(channel) + " --audio", &out), 0);
  const auto lines = parseLines(out);
  ASSERT_EQ(lines.size(), count);
  long long lastDts = -1;
  for (size_t i = 0; i < count; ++i) {
    const auto* p = reinterpret_cast<const unsigned char*>(samples.data() + i * perBlock);
    EXPECT_EQ(lines[i].md5, Md5Hex(p, perBlock * 2)) << "block " << i;
    EXPECT_GT(lines[i].dtsMs, lastDts);
    lastDts = lines[i].dtsMs;
  }
}

// Checks channel 0's HiSilicon voice frames of `rec` (frames of 481
// samples, 1/8000 s each, in stream 4) against ffmpeg's decode of the same
// IMA ADPCM blocks, frame by frame, and the frames' times.
void expectVoiceDecodesAsFfmpeg(const std::string& rec, int frames) {
  const std::string raw = rec + ".voice";
  ASSERT_EQ(krvtoolRun("extract '" + rec + "' --stream 4 -o '" + raw + "'"), 0);
  std::string out;
  const int rc = krvtoolRun("framemd5 '" + rec + "' --channel 0 --audio", &out);
  ASSERT_EQ(rc, 0);
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
  ASSERT_TRUE(WriteFile(wav, imaWav(blocks, 244)));
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

TEST(KrvtoolMediaTest, HiSiliconVoiceRecordingDecodesAsFfmpegDecodesItsBlocks) {
  const int frames = 60;
  const std::string rec = hisiRecording(frames);
  ASSERT_FALSE(rec.empty()) << "could not write the recording";
  expectVoiceDecodesAsFfmpeg(rec, frames);
  std::remove(rec.c_str());
}

TEST(KrvtoolMediaTest, SynthesisedHiSiliconVoiceRecordingDecodesAsFfmpegDecodesItsBlocks) {
  const std::string rec = DataDir() + "/synth_hisi." + std::to_string(getpid()) + ".krv";
  ASSERT_EQ(krvtoolRun("synth '" + rec + "' --audio hisi --seconds 4 --size 64x48 --channels 2 --no-data"), 0);
  std::string dump;
  ASSERT_EQ(krvtoolRun("dump '" + rec + "'", &dump), 0);
  // The audio streams name the voice codec in the metadata.
  EXPECT_NE(dump.find("\nstream 4 4 a 69632 "), std::string::npos) << dump.substr(dump.size() > 2000 ? dump.size() - 2000 : 0);
  expectVoiceDecodesAsFfmpeg(rec, 4 * 8000 / 481);
  std::remove(rec.c_str());
}

TEST(KrvtoolMediaTest, UsageAndFileErrors) {
  EXPECT_EQ(krvtoolRun("extract"), 2);
  EXPECT_EQ(krvtoolRun("extract x.krv -o y"), 2) << "no --stream";
  EXPECT_EQ(krvtoolRun("extract x.krv --stream 0"), 2) << "no -o";
  EXPECT_EQ(krvtoolRun("extract x.krv --stream -1 -o y"), 2);
  EXPECT_EQ(krvtoolRun("framemd5 x.krv"), 2) << "no --channel";
  EXPECT_EQ(krvtoolRun("framemd5 x.krv --channel 4"), 2);
  EXPECT_EQ(krvtoolRun("framemd5 x.krv --channel 0 --bogus"), 2);
  const std::string missing = DataDir() + "/no_such_recording.krv";
  EXPECT_EQ(krvtoolRun("extract '" + missing + "' --stream 0 -o /dev/null"), 1);
  EXPECT_EQ(krvtoolRun("framemd5 '" + missing + "' --channel 0"), 1);
}
