// The audio decoders: Microsoft ADPCM against ffmpeg's decode of the same
// blocks, and the HiSilicon voice decoder against ffmpeg's IMA ADPCM decoder,
// with its malformed-frame rejections.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/ac_adpcm_decoder.h"
#include "media/ac_hisi_voice_decoder.h"
#include "media/hi_voice.h"
#include "media_test_data.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace media;
using namespace mediatest;

namespace {

std::vector<int16_t> asSamples(const unsigned char* p, int bytes) {
  std::vector<int16_t> s(static_cast<size_t>(bytes / 2));
  std::memcpy(s.data(), p, s.size() * 2);
  return s;
}

// Two tones and a little noise: exercises every step size.
std::vector<int16_t> testSignal(int n) {
  std::vector<int16_t> s(static_cast<size_t>(n));
  uint32_t noise = 12345;
  for (int i = 0; i < n; ++i) {
    noise = noise * 1103515245u + 12345u;
    const double t = i / 8000.0;
    const double v = 12000 * std::sin(2 * M_PI * 440 * t) + 6000 * std::sin(2 * M_PI * 1870 * t) +
                     static_cast<int>((noise >> 16) % 2001) - 1000;
    s[static_cast<size_t>(i)] = static_cast<int16_t>(v);
  }
  return s;
}

Bytes hisiFrame(const Bytes& imaBlock) {
  Bytes f = {0x00, 0x01, static_cast<unsigned char>(imaBlock.size() / 2), 0x00};
  f.insert(f.end(), imaBlock.begin(), imaBlock.end());
  return f;
}

}  // namespace

TEST(ACADPCMDecoderTest, BlocksDecodeBitExactWithFfmpeg) {
  for (int blockSize : {256, 1024}) {
    const std::string path = Ensure(
        "adpcm_ms_" + std::to_string(blockSize) + ".wav",
        "ffmpeg -nostdin -v error -y -f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t)+0.3*sin(2*PI*2311*t):s=8000:d=2' "
        "-ac 1 -c:a adpcm_ms -block_size " + std::to_string(blockSize) + " -f wav %OUT%");
    ASSERT_FALSE(path.empty());
    Wav wav;
    ASSERT_TRUE(ParseWav(ReadFile(path), &wav));
    ASSERT_EQ(wav.blockAlign, blockSize);
    const auto expected = FfmpegDecodeS16(path);
    ASSERT_FALSE(expected.empty());

    ACADPCMDecoder d;
    std::vector<int16_t> decoded;
    for (size_t at = 0; at + static_cast<size_t>(wav.blockAlign) <= wav.data.size(); at += wav.blockAlign) {
      int len = 0;
      const unsigned char* pcm = d.Decode(AC_CODEC_ADPCM_MS, wav.data.data() + at, wav.blockAlign, &len, 0, 0, nullptr);
      ASSERT_NE(pcm, nullptr) << "block at " << at;
      const auto s = asSamples(pcm, len);
      decoded.insert(decoded.end(), s.begin(), s.end());
    }
    EXPECT_EQ(d.IsOpened(), 0) << "nothing calls Open in the decode path";
    ASSERT_EQ(decoded.size(), expected.size()) << blockSize;
    EXPECT_TRUE(decoded == expected) << blockSize;
  }
}

TEST(ACADPCMDecoderTest, RejectsWhatItCannotDecode) {
  ACADPCMDecoder d;
  int len = 0;
  EXPECT_EQ(d.Decode(AC_CODEC_ADPCM_MS, nullptr, 256, &len, 0, 0, nullptr), nullptr);
  std::vector<unsigned char> big(ACADPCMDecoder::kMaxPacketBytes + 1, 0);
  EXPECT_EQ(d.Decode(AC_CODEC_ADPCM_MS, big.data(), static_cast<int>(big.size()), &len, 0, 0, nullptr), nullptr);
  unsigned char tiny[3] = {0, 0, 0};  // shorter than a block header
  EXPECT_EQ(d.Decode(AC_CODEC_ADPCM_MS, tiny, 3, &len, 0, 0, nullptr), nullptr);
}

TEST(HiVoiceTest, DecoderMatchesFfmpegImaAdpcmOnItsOwnBlocks) {
  // ffmpeg's IMA ADPCM (WAV) encoder writes blocks of a power-of-two size:
  // 256 bytes, 505 samples, the payload of a 128-word voice frame.
  const std::string path = Ensure(
      "ima_wav_256.wav",
      "ffmpeg -nostdin -v error -y -f lavfi -i 'aevalsrc=0.6*sin(2*PI*330*t)+0.2*sin(2*PI*3100*t):s=8000:d=2' "
      "-ac 1 -c:a adpcm_ima_wav -block_size 256 -f wav %OUT%");
  ASSERT_FALSE(path.empty());
  Wav wav;
  ASSERT_TRUE(ParseWav(ReadFile(path), &wav));
  ASSERT_EQ(wav.blockAlign, 256);
  const auto expected = FfmpegDecodeS16(path);

  unsigned char state[HI_VOICE_STATE_BYTES];
  ASSERT_EQ(HI_VOICE_DecReset(state, 35), 0);
  std::vector<int16_t> decoded;
  for (size_t at = 0; at + 256 <= wav.data.size(); at += 256) {
    const Bytes frame = hisiFrame(Bytes(wav.data.begin() + static_cast<ptrdiff_t>(at),
                                        wav.data.begin() + static_cast<ptrdiff_t>(at + 256)));
    ASSERT_EQ(HI_VOICE_FrameBytes(frame.data(), static_cast<int>(frame.size())), 260);
    int16_t pcm[HI_VOICE_MAX_SAMPLES];
    int n = HI_VOICE_MAX_SAMPLES;
    ASSERT_EQ(HI_VOICE_DecodeFrame(state, frame.data(), pcm, &n), 0);
    ASSERT_EQ(n, 505);
    decoded.insert(decoded.end(), pcm, pcm + n);
  }
  ASSERT_EQ(decoded.size(), expected.size());
  size_t firstDiff = 0;
  while (firstDiff < decoded.size() && decoded[firstDiff] == expected[firstDiff]) ++firstDiff;
  EXPECT_EQ(firstDiff, decoded.size()) << "first difference at sample " << firstDiff;
}

TEST(HiVoiceTest, MalformedFramesAreRejected) {
  unsigned char enc[HI_VOICE_STATE_BYTES];
  ASSERT_EQ(HI_VOICE_EncReset(enc, 35), 0);
  const auto signal = testSignal(481);
  Bytes good(HI_VOICE_MAX_FRAME_BYTES);
  int bytes = static_cast<int>(good.size());
  ASSERT_EQ(HI_VOICE_EncodeFrame(enc, signal.data(), 481, good.data(), &bytes), 0);
  good.resize(static_cast<size_t>(bytes));

  ACHisiVioceDecoder d;
  int len = 0;
  ASSERT_NE(d.Decode(AC_CODEC_HISI_VOICE, good.data(), bytes, &len, 0, 0, nullptr), nullptr);
  EXPECT_EQ(len, 962);

  auto rejected = [&](Bytes frame, const char* why) {
    int l = -1;
    EXPECT_EQ(d.Decode(AC_CODEC_HISI_VOICE, frame.data(), static_cast<int>(frame.size()), &l, 0, 0, nullptr), nullptr)
        << why;
  };
  Bytes f = good;
  f[0] = 0x01;
  rejected(f, "first header byte");
  f = good;
  f[1] = 0x02;
  rejected(f, "second header byte");
  f = good;
  f[3] = 0x10;
  rejected(f, "fourth header byte");
  f = good;
  f[2] = 123;
  rejected(f, "length beyond the packet");
  f = good;
  f.resize(200);
  rejected(f, "packet cut short");
  f = good;
  f[2] = 1;
  f.resize(6);
  rejected(f, "too short for the ADPCM header");
  rejected(Bytes{0x00, 0x01, 0x7A}, "header cut short");
  f = good;
  f[4 + 2] = 89;
  rejected(f, "step index 89");
  {
    // 485 samples: a well-formed frame, one word longer than the decoder's
    // 481-sample buffer.
    unsigned char e2[HI_VOICE_STATE_BYTES];
    ASSERT_EQ(HI_VOICE_EncReset(e2, 35), 0);
    const auto longer = testSignal(485);
    Bytes big(HI_VOICE_MAX_FRAME_BYTES);
    int n = static_cast<int>(big.size());
    ASSERT_EQ(HI_VOICE_EncodeFrame(e2, longer.data(), 485, big.data(), &n), 0);
    big.resize(static_cast<size_t>(n));
    rejected(big, "485 samples");
  }
  int l = -1;
  EXPECT_EQ(d.Decode(AC_CODEC_HISI_VOICE, nullptr, 248, &l, 0, 0, nullptr), nullptr);
  // A step index of 88 is the largest allowed, and a sane frame still
  // decodes after all the rejections.
  f = good;
  f[4 + 2] = 88;
  EXPECT_NE(d.Decode(AC_CODEC_HISI_VOICE, f.data(), static_cast<int>(f.size()), &l, 0, 0, nullptr), nullptr);
  EXPECT_NE(d.Decode(AC_CODEC_HISI_VOICE, good.data(), bytes, &l, 0, 0, nullptr), nullptr);
}

TEST(AudioDecoderTest, RandomPacketsAreDecodedOrRejectedWithinBounds) {
  av_log_set_level(AV_LOG_QUIET);  // the damage is deliberate
  uint32_t seed = 77;
  auto rnd = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  ACHisiVioceDecoder d;
  int decoded = 0;
  for (int i = 0; i < 20000; ++i) {
    // Exactly the packet's size on the heap, so a read past it is caught.
    const size_t n = rnd() % 600;
    std::vector<unsigned char> p(n);
    for (auto& b : p) b = static_cast<unsigned char>(rnd());
    if (n >= 4 && (i & 1)) {  // a plausible header half of the time
      p[0] = 0;
      p[1] = 1;
      p[3] = 0;
      if (n >= 8) p[6] = static_cast<unsigned char>(rnd() % 100);
    }
    int len = -1;
    const unsigned char* pcm = d.Decode(AC_CODEC_HISI_VOICE, p.empty() ? nullptr : p.data(), static_cast<int>(n), &len,
                                        0, 0, nullptr);
    if (pcm != nullptr) {
      ++decoded;
      ASSERT_GT(len, 0);
      ASSERT_LE(len, ACHisiVioceDecoder::kOutputBytes);
      ASSERT_EQ(len % 2, 0);
    }
  }
  EXPECT_GT(decoded, 0);

  seed = 99;
  ACADPCMDecoder a;
  for (int i = 0; i < 2000; ++i) {
    std::vector<unsigned char> p(1 + rnd() % 2048);
    for (auto& b : p) b = static_cast<unsigned char>(rnd());
    int len = -1;
    const unsigned char* pcm = a.Decode(AC_CODEC_ADPCM_MS, p.data(), static_cast<int>(p.size()), &len, 0, 0, nullptr);
    if (pcm != nullptr) {
      ASSERT_GT(len, 0);
      ASSERT_LE(len, ACADPCMDecoder::kOutputBytes);
    }
  }
}
