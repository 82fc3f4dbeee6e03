// Both key-frame seeks, on recordings written with the writer.
#include <gtest/gtest.h>

#include "krv_test_util.h"
#include "krv_writer_util.h"

using namespace krv;
using namespace krvtest;

namespace {

// One video stream at 10 frames a second with a key frame at every x.9 s,
// one audio block every 0.5 s and a data record every second.
struct SeekFile {
  explicit SeekFile(int seconds, int keyEvery10 = 9) : path(TempPath("seek.krv")) {
    Writing w(path, {Video(352, 288, 10), Audio(), Data()});
    EXPECT_EQ(w.Header(), 0);
    for (int i = 0; i < seconds * 10; ++i) {
      int64_t t = i * 100000LL;
      if (i % 5 == 0) {
        EXPECT_EQ(w.Packet(1, t, true, Payload(200, 1), 500000), 0);
      }
      if (i % 10 == 0) {
        EXPECT_EQ(w.Packet(2, t, false, Payload(50, 2), 1000000), 0);
      }
      EXPECT_EQ(w.Packet(0, t, i % 10 == keyEvery10, Payload(i % 10 == keyEvery10 ? 3000 : 400, 3), 100000), 0);
    }
  }
  ~SeekFile() { std::remove(path.c_str()); }
  std::string path;
};

// After reading one packet (so that the metadata is known), as krvtool seek does.
struct Opened {
  explicit Opened(const std::string& path) : r(path) { r.Next(&first); }
  Reading r;
  Pkt first;
};

TEST(KrvSeek, BothSeeksChooseTheKeyFrameInTheTargetsSecond) {
  SeekFile f(30);
  Opened o(f.path);
  ASSERT_EQ(o.r.ctx->duration, 30000000);
  ASSERT_TRUE(krv_seek_keyframe(o.r.ctx, 12100000));
  Pkt p;
  ASSERT_TRUE(o.r.Next(&p));
  EXPECT_EQ(p.id, 0);
  EXPECT_EQ(p.dts, 12900000) << "12.9 s is in the target's second";
  EXPECT_TRUE(p.key);
  for (int64_t target : {12100000LL, 12999999LL, 25000000LL, 3500000LL}) {
    ASSERT_TRUE(krv_seek_keyframe_estimate(o.r.ctx, target, 0, o.r.ctx->duration)) << target;
    ASSERT_TRUE(o.r.Next(&p));
    EXPECT_EQ(p.dts, target / 1000000 * 1000000 + 900000) << target;
    EXPECT_TRUE(p.key);
  }
}

TEST(KrvSeek, BeforeTheFirstKeyFrameNothingMovesAndZeroRestarts) {
  SeekFile f(10);
  Opened o(f.path);
  int64_t pos = url_ftell(o.r.ctx->pb);
  EXPECT_FALSE(krv_seek_keyframe(o.r.ctx, 500000));
  EXPECT_EQ(url_ftell(o.r.ctx->pb), pos);
  EXPECT_FALSE(krv_seek_keyframe_estimate(o.r.ctx, 500000, 0, o.r.ctx->duration));
  EXPECT_EQ(url_ftell(o.r.ctx->pb), pos);
  EXPECT_FALSE(krv_seek_keyframe(o.r.ctx, -1));
  EXPECT_FALSE(krv_seek_keyframe_estimate(o.r.ctx, -1, 0, o.r.ctx->duration));
  EXPECT_EQ(url_ftell(o.r.ctx->pb), pos);
  Pkt p;
  ASSERT_TRUE(o.r.Next(&p));
  EXPECT_EQ(p.dts, 0) << "reading goes on where it was";

  // The estimated seek to 0 restarts from the first tag, wherever reading is.
  for (int i = 0; i < 26; ++i) o.r.Next(&p);
  EXPECT_TRUE(krv_seek_keyframe_estimate(o.r.ctx, 0, 0, o.r.ctx->duration));
  EXPECT_EQ(url_ftell(o.r.ctx->pb), 0);
  ASSERT_TRUE(o.r.Next(&p));
  EXPECT_EQ(p, o.first);
}

// A long recording: the estimate lands anywhere in the file, the walk goes
// forward or backward from there to the last key frame whose second is not
// after the target's second.
TEST(KrvSeek, LongFileLandsOnTheLastKeyFrameNotAfterTheTarget) {
  SeekFile f(600, 0);  // key frames at whole seconds
  Opened o(f.path);
  ASSERT_EQ(o.r.ctx->duration, 600000000);
  ASSERT_GT(o.r.ctx->file_size, 2000000);
  Pkt p;
  for (int64_t target = 1500000; target < 600000000; target += 7300001) {
    ASSERT_TRUE(krv_seek_keyframe_estimate(o.r.ctx, target, o.r.ctx->file_size, o.r.ctx->duration)) << target;
    ASSERT_TRUE(o.r.Next(&p));
    EXPECT_EQ(p.dts, target / 1000000 * 1000000) << target;
    EXPECT_TRUE(p.key);
    // From here the exact seek walks backward (same second) ...
    ASSERT_TRUE(krv_seek_keyframe(o.r.ctx, target + 900000)) << target;
    ASSERT_TRUE(o.r.Next(&p));
    EXPECT_EQ(p.dts, (target + 900000) / 1000000 * 1000000) << "exact, " << target;
  }
  // ... and backward across many seconds, and forward.
  ASSERT_TRUE(krv_seek_keyframe(o.r.ctx, 300500000));
  ASSERT_TRUE(o.r.Next(&p));
  EXPECT_EQ(p.dts, 300000000);
  ASSERT_TRUE(krv_seek_keyframe(o.r.ctx, 555000000));
  ASSERT_TRUE(o.r.Next(&p));
  EXPECT_EQ(p.dts, 555000000);
  // A target after the end: the last key frame.
  ASSERT_TRUE(krv_seek_keyframe_estimate(o.r.ctx, 700000000, 0, o.r.ctx->duration));
  ASSERT_TRUE(o.r.Next(&p));
  EXPECT_EQ(p.dts, 599000000);
}

TEST(KrvSeek, OpeningAFileThatBeginsWithAKeyFrameReadsItsHeaderFromTheStart) {
  // No metadata tag: the first tag is a key frame at second 0, where the
  // opening's seek to 0 stops. The header still comes from offset 0.
  Bytes file = FileHeader(0x41);  // two video, no audio, one data stream
  for (int i = 0; i < 5; ++i) {
    Bytes t = MediaTag(9, 0, static_cast<uint32_t>(i * 40000), i == 0 ? 0x10 : 0x20, Payload(20, static_cast<uint8_t>(i)));
    file.insert(file.end(), t.begin(), t.end());
  }
  std::string path = TempPath("keyfirst.krv");
  WriteFile(path, file);
  {
    Reading r(path);
    EXPECT_EQ(r.headerResult, 0);
    EXPECT_EQ(r.ctx->nb_video_streams, 2);
    EXPECT_EQ(r.ctx->nb_data_streams, 1);
    std::vector<Pkt> all = r.All();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].dts, 0);
    EXPECT_TRUE(all[0].key);
    EXPECT_EQ(all[4].dts, 160000);
  }
  {
    // The seek alone stops on that key frame (its previous-tag-size field at
    // offset 9), where a header read would take the start code for the
    // layout byte and the header size.
    RecordingContext ctx{};
    ASSERT_EQ(url_fopen(&ctx.pb, path.c_str(), URL_RDONLY), 0);
    EXPECT_TRUE(krv_seek_keyframe(&ctx, 0));
    EXPECT_EQ(url_ftell(ctx.pb), 9);
    url_fclose(ctx.pb);
  }
  std::remove(path.c_str());
}

}  // namespace
