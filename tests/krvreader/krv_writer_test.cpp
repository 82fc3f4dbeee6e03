// The writer, checked through the reader (round trips; the reader itself is
// checked on bytes built by hand).
#include <gtest/gtest.h>

#include "krv_test_util.h"
#include "krv_writer_util.h"

using namespace krv;
using namespace krvtest;

namespace {

TEST(KrvWriter, RoundTripsEveryFieldAndEveryPacket) {
  std::string path = TempPath("roundtrip.krv");
  std::vector<StreamSpec> streams = RecorderStreams();
  streams[1] = Video(352, 288, 12, 512000);
  streams[3].width = streams[3].height = 0;
  streams[5] = Audio(CODEC_HISI_VOICE);
  streams[6] = Audio(CODEC_PCM_S16LE, 22050, 2, 16);
  std::vector<Pkt> written;
  {
    Writing w(path, streams, 1710491400, "\xE7\xB2\xA4" "A.12345");
    ASSERT_EQ(w.Header(), 0);
    for (int i = 0; i < 120; ++i) {
      int slot = i % 9;
      int64_t dts = i * 40000;
      bool key = slot < 4 ? i % 25 == 0 : slot < 8;
      Bytes data = Payload(1 + (i * 7919) % 3000, static_cast<uint8_t>(i));
      ASSERT_EQ(w.Packet(slot, dts, key, data, 40000), 0);
      written.push_back(Pkt{slot, dts, key, data});
    }
    ASSERT_EQ(w.Trailer(), 0);
  }
  Reading r(path);
  ASSERT_TRUE(r.opened);
  EXPECT_EQ(r.headerResult, 0);
  std::vector<Pkt> read = r.All();
  EXPECT_EQ(r.last, KRV_EPIPE);
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], written[i]) << "packet " << i;

  RecordingContext* ctx = r.ctx;
  EXPECT_EQ(ctx->nb_streams, 9);
  EXPECT_EQ(ctx->nb_video_streams, 4);
  EXPECT_EQ(ctx->nb_audio_streams, 4);
  EXPECT_EQ(ctx->nb_data_streams, 1);
  EXPECT_EQ(ctx->start_time, 1710491400);
  EXPECT_EQ(ctx->duration, 119 * 40000 + 40000);
  EXPECT_EQ(ctx->file_size, static_cast<int64_t>(ReadFile(path).size()));
  EXPECT_STREQ(ctx->busnum, "\xE7\xB2\xA4" "A.12345");
  for (int i = 0; i < 9; ++i) {
    RecordingStream* st = r.Stream(i);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->index, i);
    EXPECT_EQ(st->kind, streams[i].kind);
    EXPECT_EQ(st->time_base.num, 1);
    EXPECT_EQ(st->time_base.den, 1000000);
    if (streams[i].kind == KIND_VIDEO) {
      EXPECT_EQ(st->codec_id, CODEC_H264);
      EXPECT_EQ(st->width, streams[i].width);
      EXPECT_EQ(st->height, streams[i].height);
      EXPECT_EQ(st->fps, streams[i].fps);
      EXPECT_EQ(st->bit_rate, streams[i].bitRate);
    } else if (streams[i].kind == KIND_AUDIO) {
      EXPECT_EQ(st->codec_id, streams[i].codec) << "the metadata names the codec";
      EXPECT_EQ(st->sample_rate, streams[i].sampleRate);
      EXPECT_EQ(st->channels, streams[i].channels);
      EXPECT_EQ(st->bits_per_sample, 16);
    }
  }
  std::remove(path.c_str());
}

// The recorder's own sound, Microsoft ADPCM and HiSilicon voice frames, can be
// written, with audio flags that name no codec, and reads back as itself.
TEST(KrvWriter, WritesTheRecordersOwnSoundCodecs) {
  for (int codec : {CODEC_ADPCM_MS, CODEC_HISI_VOICE}) {
    std::string path = TempPath("sound.krv");
    Bytes block = Payload(2036, 9);
    {
      Writing w(path, {Audio(codec)});
      ASSERT_EQ(w.Header(), 0) << codec;
      ASSERT_EQ(w.Packet(0, 0, true, block, 507500), 0);
      ASSERT_EQ(w.Packet(0, 507500, true, block, 507500), 0);
    }
    Reading r(path);
    std::vector<Pkt> read = r.All();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].data, block);
    EXPECT_TRUE(read[1].key);
    EXPECT_EQ(r.Stream(0)->codec_id, codec);
    EXPECT_EQ(r.Stream(0)->sample_rate, 8000);
    EXPECT_EQ(r.ctx->duration, 1015000);
    // The flags byte of the first audio tag: 16-bit, code 0 (8000 Hz), mono.
    Bytes b = ReadFile(path);
    size_t tag = b.size() - 2 * (2036 + 20);
    EXPECT_EQ(b[tag + 4], 8);
    EXPECT_EQ(b[tag + 15] & 0x0F, 0x02);
    std::remove(path.c_str());
  }
}

// All 32 timestamp bits are stored: a recording running past 2^31 us
// (35 min 47 s) keeps its times, and seeks there.
TEST(KrvWriter, TimestampsPast2To31MicrosecondsRoundTrip) {
  std::string path = TempPath("long.krv");
  const std::vector<int64_t> times = {0, 2147483000LL, 2147483648LL, 2147483649LL, 3000000000LL, 4294967295LL};
  std::vector<Pkt> written;
  {
    Writing w(path, {Video(), Audio(), Data()});
    ASSERT_EQ(w.Header(), 0);
    for (int64_t t : times) {
      for (int slot = 0; slot < 3; ++slot) {
        Bytes data = Payload(100 + slot, static_cast<uint8_t>(t));
        ASSERT_EQ(w.Packet(slot, t, slot != 2, data, 0), 0);
        written.push_back(Pkt{slot, t, slot != 2, data});
      }
    }
  }
  {
    Reading r(path);
    EXPECT_EQ(r.All(), written);
    EXPECT_EQ(r.ctx->duration, 4294967000LL) << "milliseconds of the last end time";
  }
  Reading r(path);
  Pkt p;
  ASSERT_TRUE(r.Next(&p));
  ASSERT_TRUE(krv_seek_keyframe(r.ctx, 3000500000LL));
  ASSERT_TRUE(r.Next(&p));
  EXPECT_EQ(p.dts, 3000000000LL);
  ASSERT_TRUE(krv_seek_keyframe_estimate(r.ctx, 2500000000LL, 0, r.ctx->duration));
  ASSERT_TRUE(r.Next(&p));
  EXPECT_EQ(p.dts, 2147483649LL) << "the last key frame whose second is not after the target's";
  std::remove(path.c_str());
}

// What the format cannot carry is refused instead of written as a broken tag.
TEST(KrvWriter, RefusesAudioItCannotExpressAndPacketsItCannotCarry) {
  std::string path = TempPath("refuse.krv");
  {
    Writing w(path, {Audio(CODEC_ADPCM_MS, 16000)});
    EXPECT_EQ(w.Header(), -1) << "16 kHz has no rate code";
  }
  {
    Writing w(path, {Audio(12345)});
    EXPECT_EQ(w.Header(), -1) << "unknown codec";
  }
  {
    std::vector<StreamSpec> eight(8, Video());
    Writing w(path, eight);
    EXPECT_EQ(w.Header(), -1) << "eight video streams do not fit the layout byte";
  }
  {
    Writing w(path, {Video(), Audio(), Data()});
    ASSERT_EQ(w.Header(), 0);
    int64_t pos = url_ftell(w.ctx.pb);
    EXPECT_EQ(w.Packet(1, 0, true, Bytes{}), KRV_EINVAL) << "empty audio";
    EXPECT_EQ(w.Packet(2, 0, false, Bytes{}), KRV_EINVAL) << "empty data";
    EXPECT_EQ(w.Packet(3, 0, false, Bytes{1}), KRV_EINVAL) << "no such stream";
    EXPECT_EQ(w.Packet(0, 0x100000000LL, true, Bytes{1}), KRV_EINVAL) << "beyond 32 bits";
    EXPECT_EQ(w.Packet(1, -5, true, Bytes{1}), KRV_EINVAL) << "negative time";
    EXPECT_EQ(url_ftell(w.ctx.pb), pos) << "a refused packet writes nothing";
    EXPECT_EQ(w.Packet(0, 0, true, Bytes{}), 0) << "an empty video packet is a flags byte";
  }
  std::remove(path.c_str());
}


}  // namespace
