// The reader on hand-made bytes: re-synchronisation, odd tags, stream
// creation, the audio flag rules, layout bytes and truncated files.
#include <gtest/gtest.h>

#include "fuzz/mem_protocol.h"
#include "krv_test_util.h"
#include "krv_writer_util.h"

using namespace krv;
using namespace krvtest;

namespace {

// The metadata tag every recording here starts with. (Without one, the
// opening key-frame seek to 0 may land on a first key frame at second 0.)
Bytes SimpleMeta() {
  Builder b;
  b.EcmaBegin(1).NumEntry("duration", 5000).End();
  return MetaTag(b.bytes());
}

// Garbage of any length between tags is stepped over; 00 00 01 FF counts as
// a tag start only before 8, 9, 18 or 22.
TEST(KrvReader, ResynchronisesOverGarbageAndFakeStartCodes) {
  Bytes a = Payload(50, 1), c = Payload(60, 2);
  for (size_t garbage : {1u, 2u, 3u, 4u, 5u, 17u, 1000u}) {
    Bytes junk = Payload(garbage, 7);
    FileReading f(Concat({FileHeader(0x91), SimpleMeta(), MediaTag(9, 0, 1000, 0x10, a), junk,
                          MediaTag(9, 0, 2000, 0x20, c)}));
    std::vector<Pkt> got = f.r->All();
    ASSERT_EQ(got.size(), 2u) << garbage << " bytes of garbage";
    EXPECT_EQ(got[0], (Pkt{0, 1000, true, a}));
    EXPECT_EQ(got[1], (Pkt{0, 2000, false, c})) << garbage << " bytes of garbage";
    EXPECT_EQ(f.r->last, KRV_EPIPE);
  }

  Bytes d = Payload(40, 3);
  Builder junk;
  junk.Raw(Payload(6, 11)).Be32(511).U8(7).Be32(511).U8(0).Be32(511).U8(0xFF).Be16(0).U8(1).U8(0xFF).U8(0x17);
  FileReading f(Concat({FileHeader(0x91), SimpleMeta(), junk.bytes(), MediaTag(8, 4, 3000, 0x02, d)}));
  std::vector<Pkt> got = f.r->All();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], (Pkt{4, 3000, true, d}));
}

// The resynchronisation searches the buffered bytes in place; it must find
// exactly what a byte-by-byte window finds: the first tag type preceded by
// 00 00 01 FF, with start codes split across the 32 KB buffer's refills,
// near misses (a wrong type, 00 01 FF, 01 FF at a boundary) and runs of 0xFF.
TEST(KrvReader, ResyncFindsWhatAByteWindowFindsAcrossBufferRefills) {
  auto reference = [](const Bytes& b) -> int64_t {
    for (size_t i = 4; i < b.size(); ++i)
      if (b[i - 4] == 0 && b[i - 3] == 0 && b[i - 2] == 1 && b[i - 1] == 0xFF &&
          (b[i] == 8 || b[i] == 9 || b[i] == 18 || b[i] == 22))
        return static_cast<int64_t>(i);
    return -1;
  };
  uint32_t x = 2024;
  auto next = [&] { return x ^= x << 13, x ^= x >> 17, x ^= x << 5; };
  const size_t kBuffer = 32768;
  for (int round = 0; round < 120; ++round) {
    Bytes b(kBuffer * (1 + round % 3) + next() % 9000);
    for (auto& c : b) c = static_cast<uint8_t>(next() % 5 == 0 ? 0xFF : next() % 3 == 0 ? 0 : next());
    // A start code somewhere near a refill boundary (or nowhere), and decoys.
    const size_t boundary = kBuffer * (1 + next() % 2);
    const Bytes code = {0, 0, 1, 0xFF, static_cast<uint8_t>(round % 2 ? 9 : 22)};
    const Bytes decoy = {0, 0, 1, 0xFF, 7};
    for (const Bytes* put : {&decoy, &code}) {
      if (round % 5 == 4 && put == &code) continue;
      const size_t at = boundary - 6 + next() % 12 + (put == &decoy ? 0 : 20 + next() % 40);
      if (at + put->size() <= b.size()) std::copy(put->begin(), put->end(), b.begin() + static_cast<long>(at));
    }
    const std::string path = TempPath("resync.krv");
    WriteFile(path, b);
    krv::ByteIOContext* pb = nullptr;
    ASSERT_EQ(krv::url_fopen(&pb, path.c_str(), krv::URL_RDONLY), 0);
    int type = 0;
    const int r = krv::krv_resync(pb, &type);
    const int64_t want = reference(b);
    SCOPED_TRACE(round);
    if (want < 0) {
      EXPECT_EQ(r, krv::KRV_EPIPE);
    } else {
      ASSERT_EQ(r, 0);
      EXPECT_EQ(type, b[static_cast<size_t>(want)]);
      EXPECT_EQ(krv::url_ftell(pb), want + 1);
    }
    krv::url_fclose(pb);
    std::remove(path.c_str());
  }
}

TEST(KrvReader, SkipsEmptyTagsCommandTagsAndUnknownTypes) {
  Bytes a = Payload(30, 4), c = Payload(31, 5);
  FileReading f(Concat({FileHeader(0x91), SimpleMeta(), Tag(9, 0, 100, {}), MediaTag(9, 0, 200, 0x50, Payload(20, 6)),
                        MediaTag(9, 0, 210, 0x5F, Payload(5, 6)), Tag(30, 0, 300, Payload(40, 8)),
                        Tag(8, 4, 350, Bytes{0x02}),  // only a flags byte: nothing to deliver
                        MediaTag(9, 1, 400, 0x12, a), MediaTag(22, 8, 500, 0, c)}));
  std::vector<Pkt> got = f.r->All();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], (Pkt{1, 400, true, a}));
  EXPECT_EQ(got[1], (Pkt{8, 500, false, c})) << "data packets are not key frames";
}

TEST(KrvReader, KeyFlagsFollowTheFrameTypeAndEveryAudioPacketIsKey) {
  FileReading f(Concat({FileHeader(0x91), SimpleMeta(), MediaTag(9, 0, 1, 0x10, {1}), MediaTag(9, 0, 2, 0x20, {2}),
                        MediaTag(9, 1, 3, 0x17, {3}), MediaTag(9, 2, 4, 0x22, {4}), MediaTag(8, 4, 5, 0xF2, {5}),
                        MediaTag(8, 5, 6, 0x00, {6})}));
  std::vector<Pkt> got = f.r->All();
  ASSERT_EQ(got.size(), 6u);
  std::vector<bool> keys;
  for (const auto& p : got) keys.push_back(p.key);
  EXPECT_EQ(keys, (std::vector<bool>{true, false, true, false, true, true}));
  EXPECT_EQ(f.r->Stream(0)->codec_id, CODEC_NONE) << "codec number 0 sets nothing";
  EXPECT_EQ(f.r->Stream(1)->codec_id, CODEC_H264);
  EXPECT_EQ(f.r->Stream(2)->codec_id, CODEC_H263_SORENSON);
}

TEST(KrvReader, AudioFlagsSetTheStreamOnlyWhereTheMetadataDidNot) {
  // Slots 4-7 are audio. Codec numbers: 0x0 (8-bit), 0x3, 0x1, 0x5, 0xA.
  FileReading f(Concat({FileHeader(0x91), SimpleMeta(), MediaTag(8, 4, 1, 0x00, {1}), MediaTag(8, 5, 2, 0x3F, {2}),
                        MediaTag(8, 6, 3, 0x19, {3}), MediaTag(8, 7, 4, 0x52, {4}), MediaTag(8, 9, 5, 0xA6, {5}),
                        MediaTag(8, 4, 6, 0x13, {6})}));
  std::vector<Pkt> got = f.r->All();
  ASSERT_EQ(got.size(), 6u);
  RecordingStream* s = f.r->Stream(4);
  EXPECT_EQ(s->codec_id, CODEC_PCM_S8);
  EXPECT_EQ(s->channels, 1);
  EXPECT_EQ(s->sample_rate, 5512);
  EXPECT_EQ(s->bits_per_sample, 8) << "set once, not by the later tag";
  s = f.r->Stream(5);
  EXPECT_EQ(s->codec_id, CODEC_PCM_S16LE);
  EXPECT_EQ(s->channels, 2);
  EXPECT_EQ(s->sample_rate, 44100);
  s = f.r->Stream(6);
  EXPECT_EQ(s->codec_id, CODEC_ADPCM_SWF);
  EXPECT_EQ(s->sample_rate, 22050);
  s = f.r->Stream(7);
  EXPECT_EQ(s->codec_id, CODEC_NONE);
  EXPECT_EQ(s->sample_rate, 8000) << "codec number 5 sets only the rate";
  s = f.r->Stream(9);  // created mid-file
  EXPECT_EQ(s->codec_id, CODEC_AAC);
  EXPECT_EQ(s->sample_rate, 11025);
}

TEST(KrvReader, StreamsCreatedMidFileTakeTheTagsIdentifierAndKindUpToTen) {
  FileReading f(Concat({FileHeader(0x20), SimpleMeta(), MediaTag(9, 0, 1, 0x10, {1}), MediaTag(8, 5, 2, 0x02, {2}),
                        MediaTag(22, 12, 3, 0, {3}), MediaTag(8, 5, 4, 0x02, {4})}));
  RecordingContext* ctx = f.r->ctx;
  EXPECT_EQ(ctx->nb_streams, 1);
  ctx->ctx_flags = 1;
  std::vector<Pkt> got = f.r->All();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(ctx->nb_streams, 3);
  EXPECT_EQ(ctx->nb_audio_streams, 1);
  EXPECT_EQ(ctx->nb_data_streams, 1);
  EXPECT_EQ(f.r->Stream(1)->index, 5);
  EXPECT_EQ(f.r->Stream(1)->kind, KIND_AUDIO);
  EXPECT_EQ(f.r->Stream(2)->index, 12);
  EXPECT_EQ(f.r->Stream(2)->kind, KIND_DATA);
  EXPECT_EQ(f.r->Stream(2)->time_base.den, 1000000);
  EXPECT_EQ(ctx->ctx_flags & 1, 0);

  // An eleventh stream is skipped.
  FileReading g(Concat({FileHeader(0x91), SimpleMeta(), MediaTag(9, 20, 1, 0x10, {1}), MediaTag(9, 21, 2, 0x10, {2}),
                        MediaTag(9, 20, 3, 0x20, {3}), MediaTag(9, 0, 4, 0x10, {4})}),
                "eleven.krv");
  got = g.r->All();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].id, 20);
  EXPECT_EQ(got[1].dts, 3);
  EXPECT_EQ(got[2].dts, 4);
  EXPECT_EQ(g.r->ctx->nb_streams, 10);
}

TEST(KrvReader, LayoutByteZeroMeansTheRecorderTableAndFFIsTooMany) {
  {
    FileReading f(Concat({FileHeader(0), SimpleMeta(), MediaTag(9, 0, 1, 0x10, {1})}));
    EXPECT_EQ(f.r->headerResult, 0);
    EXPECT_EQ(f.r->ctx->nb_video_streams, 4);
    EXPECT_EQ(f.r->ctx->nb_audio_streams, 4);
    EXPECT_EQ(f.r->ctx->nb_data_streams, 1);
    EXPECT_EQ(f.r->Stream(8)->kind, KIND_DATA);
    EXPECT_EQ(f.r->All().size(), 1u);
  }
  {
    FileReading f(Concat({FileHeader(0xFF), SimpleMeta(), MediaTag(9, 0, 1, 0x10, {1}), MediaTag(22, 12, 2, 0, {2})}));
    EXPECT_EQ(f.r->headerResult, KRV_ENOMEM);
    EXPECT_EQ(f.r->ctx->nb_streams, 10);
    EXPECT_EQ(f.r->ctx->nb_video_streams, 7);
    EXPECT_EQ(f.r->ctx->nb_audio_streams, 3);
    std::vector<Pkt> got = f.r->All();
    ASSERT_EQ(got.size(), 1u) << "reading still works; the stream that does not fit is skipped";
    EXPECT_EQ(got[0].id, 0);
  }
}

// Every prefix of a recording reads without harm: the packets delivered are
// those of the whole file up to the cut (the last one possibly short).
TEST(KrvReader, TruncatedFilesReadAPrefixAndEnd) {
  std::string path = TempPath("full.krv");
  {
    Writing w(path, RecorderStreams(), 1710491400, "BUS");
    ASSERT_EQ(w.Header(), 0);
    for (int i = 0; i < 12; ++i) ASSERT_EQ(w.Packet(i % 9, i * 1000, i % 3 == 0, Payload(20 + i, 1)), 0);
  }
  Bytes full = ReadFile(path);
  std::remove(path.c_str());
  std::vector<Pkt> all;
  {
    krvfuzz::RegisterMemoryProtocol();
    krvfuzz::SetMemoryFile(full.data(), full.size());
    Reading r(krvfuzz::kMemoryFileName);
    all = r.All();
    ASSERT_EQ(all.size(), 12u);
  }
  for (size_t cut = 0; cut < full.size(); ++cut) {
    krvfuzz::SetMemoryFile(full.data(), cut);
    Reading r(krvfuzz::kMemoryFileName);
    ASSERT_TRUE(r.opened);
    Pkt p;
    size_t n = 0;
    while (r.Next(&p)) {
      ASSERT_LT(n, all.size());
      EXPECT_EQ(p.id, all[n].id) << "cut " << cut;
      EXPECT_EQ(p.dts, all[n].dts);
      ASSERT_LE(p.data.size(), all[n].data.size());
      EXPECT_TRUE(std::equal(p.data.begin(), p.data.end(), all[n].data.begin()));
      ++n;
    }
    EXPECT_TRUE(r.last == KRV_EPIPE || r.last == KRV_EIO) << "cut " << cut << ": " << r.last;
    EXPECT_EQ(r.Next(&p), false) << "the end stays the end";
  }
}

}  // namespace
