// ACH264Decoder against the ffmpeg command-line tool on the same access
// units, and its handling of picture sizes it must not trust.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "media/ac_h264_decoder.h"
#include "media/ac_sync.h"
#include "media_test_data.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace media;
using namespace mediatest;

namespace {

// Decodes one unit the way a decode thread does: under CodecLock.
unsigned char* decode(ACH264Decoder& d, const Bytes& unit, int w, int h, unsigned char* out, int* outLen) {
  std::lock_guard<ACCriticalSection> g(CodecLock);
  return d.Decode(0, unit.data(), static_cast<int>(unit.size()), outLen, w, h, out);
}

struct Stream {
  std::string path;
  std::vector<Bytes> units;
};

Stream load(int w, int h, int frames) {
  Stream s;
  s.path = H264Stream(w, h, frames);
  if (!s.path.empty()) s.units = SplitAccessUnits(ReadFile(s.path));
  return s;
}

// A buffer with guard bytes behind the part the decoder may use.
struct Guarded {
  explicit Guarded(size_t usable) : usable(usable), bytes(usable + 4096, 0xC7) {}
  bool guardIntact() const {
    for (size_t i = usable; i < bytes.size(); ++i)
      if (bytes[i] != 0xC7) return false;
    return true;
  }
  bool untouched() const {
    for (unsigned char b : bytes)
      if (b != 0xC7) return false;
    return true;
  }
  size_t usable;
  std::vector<unsigned char> bytes;
};

}  // namespace

TEST(ACH264DecoderTest, PicturesAreBitExactWithFfmpeg) {
  const Stream s = load(704, 576, 50);
  ASSERT_FALSE(s.path.empty()) << "could not make the test stream";
  ASSERT_EQ(s.units.size(), 50u);
  const auto expected = FfmpegFrameMd5(s.path);
  ASSERT_EQ(expected.size(), 50u);

  ACH264Decoder d;
  std::vector<unsigned char> out(kMaxPlanarPictureBytes);
  for (size_t i = 0; i < s.units.size(); ++i) {
    int len = 0;
    ASSERT_EQ(decode(d, s.units[i], 704, 576, out.data(), &len), out.data()) << i;
    ASSERT_TRUE(d.LastHadPicture()) << "no delay for a stream without B-frames: " << i;
    ASSERT_EQ(len, 704 * 576 * 3 / 2);
    EXPECT_EQ(Md5Hex(out.data(), static_cast<size_t>(len)), expected[i]) << "picture " << i;
  }
}

TEST(ACH264DecoderTest, UnitWithoutPictureReturnsTheBufferWithThePreviousPicture) {
  const Stream s = load(704, 576, 50);
  ASSERT_GE(s.units.size(), 2u);
  ACH264Decoder d;
  std::vector<unsigned char> out(kMaxPlanarPictureBytes);
  int len = 0;
  ASSERT_EQ(decode(d, s.units[0], 704, 576, out.data(), &len), out.data());
  const std::string first = Md5Hex(out.data(), out.size());

  // The parameter sets alone: no slice, no picture.
  Bytes paramsOnly;
  for (const Bytes& nal : SplitNalUnits(s.units[0]))
    if (NalType(nal) == 7 || NalType(nal) == 8) paramsOnly.insert(paramsOnly.end(), nal.begin(), nal.end());
  ASSERT_FALSE(paramsOnly.empty());
  len = 0;
  EXPECT_EQ(decode(d, paramsOnly, 704, 576, out.data(), &len), out.data());
  EXPECT_FALSE(d.LastHadPicture());
  EXPECT_EQ(len, 704 * 576 * 3 / 2);
  EXPECT_EQ(Md5Hex(out.data(), out.size()), first);

  // Garbage: no picture either, and the stream goes on.
  Bytes junk(300, 0x5F);
  EXPECT_EQ(decode(d, junk, 704, 576, out.data(), &len), out.data());
  EXPECT_FALSE(d.LastHadPicture());
  EXPECT_EQ(decode(d, s.units[1], 704, 576, out.data(), &len), out.data());
  EXPECT_TRUE(d.LastHadPicture());
}

TEST(ACH264DecoderTest, RefusedSizesWriteNothing) {
  {
    ACH264Decoder d;
    std::vector<unsigned char> out(kMaxPlanarPictureBytes);
    unsigned char one = 0;
    int len = 0;
    std::lock_guard<ACCriticalSection> g(CodecLock);
    EXPECT_EQ(d.Decode(0, nullptr, 10, &len, 704, 576, out.data()), nullptr);
    EXPECT_EQ(d.Decode(0, &one, 1, &len, 704, 576, nullptr), nullptr);
    EXPECT_EQ(d.Decode(0, &one, -1, &len, 704, 576, out.data()), nullptr);
  }
  const Stream s = load(704, 576, 50);
  ASSERT_FALSE(s.units.empty());
  struct Case {
    int w, h;
    const char* why;
  } cases[] = {
      {720, 576, "wider than 704"},
      {704, 578, "taller than 576"},
      {703, 576, "odd width"},
      {704, 575, "odd height"},
      {0, 576, "no width"},
      {-704, 576, "negative width"},
  };
  for (const Case& c : cases) {
    ACH264Decoder d;
    Guarded out(kMaxPlanarPictureBytes);
    int len = -1;
    EXPECT_EQ(decode(d, s.units[0], c.w, c.h, out.bytes.data(), &len), nullptr) << c.why;
    EXPECT_EQ(len, 0) << c.why;
    EXPECT_TRUE(out.untouched()) << c.why;
  }
  {
    // A picture larger than the caller's buffer.
    ACH264Decoder d;
    d.SetOutputCapacity(704 * 576);  // a Y plane's worth only
    Guarded out(704 * 576);
    int len = -1;
    EXPECT_EQ(decode(d, s.units[0], 704, 576, out.bytes.data(), &len), nullptr);
    EXPECT_TRUE(out.untouched());
  }
  // A stream larger than 704 x 576.
  const Stream wide = load(720, 576, 3);
  ASSERT_EQ(wide.units.size(), 3u);
  ACH264Decoder d;
  Guarded out(kMaxPlanarPictureBytes);
  for (const Bytes& u : wide.units) {
    int len = -1;
    EXPECT_EQ(decode(d, u, 704, 576, out.bytes.data(), &len), nullptr);
    EXPECT_TRUE(out.untouched());
  }
}

TEST(ACH264DecoderTest, DecodedPictureLargerThanTheStoredSizeIsRefusedAndPlayGoesOn) {
  const Stream s = load(704, 576, 50);
  ASSERT_EQ(s.units.size(), 50u);
  const auto expected = FfmpegFrameMd5(s.path);
  ASSERT_EQ(expected.size(), 50u);
  ACH264Decoder d;
  // The container claims 352 x 288; the bitstream carries 704 x 576.
  const size_t small = 352 * 288 * 3 / 2;
  Guarded tight(small);
  d.SetOutputCapacity(static_cast<int>(small));
  int len = -1;
  EXPECT_EQ(decode(d, s.units[0], 352, 288, tight.bytes.data(), &len), nullptr);
  EXPECT_TRUE(tight.untouched());
  // The refused unit still went through the decoder: with the right size
  // the following pictures come out exact.
  d.SetOutputCapacity(kMaxPlanarPictureBytes);
  std::vector<unsigned char> out(kMaxPlanarPictureBytes);
  for (size_t i = 1; i < 12; ++i) {
    ASSERT_EQ(decode(d, s.units[i], 704, 576, out.data(), &len), out.data()) << i;
    EXPECT_EQ(Md5Hex(out.data(), static_cast<size_t>(len)), expected[i]) << i;
  }
}

TEST(ACH264DecoderTest, SmallerPictureSitsTopLeftInTheStoredLayout) {
  const Stream s = load(352, 288, 3);
  ASSERT_EQ(s.units.size(), 3u);
  const auto expected = FfmpegFrameMd5(s.path);
  ASSERT_EQ(expected.size(), 3u);
  ACH264Decoder d;
  std::vector<unsigned char> out(kMaxPlanarPictureBytes);
  std::vector<unsigned char> picture(352 * 288 * 3 / 2);
  for (size_t i = 0; i < 3; ++i) {
    int len = 0;
    ASSERT_EQ(decode(d, s.units[i], 704, 576, out.data(), &len), out.data());
    EXPECT_EQ(len, 704 * 576 * 3 / 2);
    // Gather the 352 x 288 picture out of the 704 x 576 planes.
    unsigned char* p = picture.data();
    for (int r = 0; r < 288; ++r, p += 352) std::memcpy(p, out.data() + r * 704, 352);
    for (int plane = 0; plane < 2; ++plane) {
      const unsigned char* base = out.data() + 704 * 576 + plane * (352 * 288);
      for (int r = 0; r < 144; ++r, p += 176) std::memcpy(p, base + r * 352, 176);
    }
    EXPECT_EQ(Md5Hex(picture.data(), picture.size()), expected[i]) << i;
  }
}

TEST(ACH264DecoderTest, DamagedUnitsNeverWritePastTheBuffer) {
  const Stream s = load(704, 576, 50);
  ASSERT_EQ(s.units.size(), 50u);
  av_log_set_level(AV_LOG_QUIET);  // the damage is deliberate
  // Damaged copies of the stream: bytes flipped, units cut short or padded
  // with junk. Whatever the bitstream claims, the decoder writes within the
  // caller's buffer (the guard and AddressSanitizer both watch).
  uint32_t seed = 2024;
  auto rnd = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (int pass = 0; pass < 3; ++pass) {
    ACH264Decoder d;
    Guarded out(kMaxPlanarPictureBytes);
    d.SetOutputCapacity(kMaxPlanarPictureBytes);
    for (const Bytes& original : s.units) {
      Bytes u = original;
      const uint32_t what = rnd() % 4;
      if (what == 0) {
        for (int k = 0; k < 8; ++k) u[rnd() % u.size()] ^= static_cast<unsigned char>(1 + rnd() % 255);
      } else if (what == 1) {
        u.resize(1 + rnd() % u.size());
      } else if (what == 2) {
        for (int k = 0; k < 64; ++k) u.push_back(static_cast<unsigned char>(rnd()));
      }
      int len = 0;
      decode(d, u, 704, 576, out.bytes.data(), &len);
      ASSERT_TRUE(out.guardIntact());
    }
  }
}
