// The metadata tag: which keys set what, for which stream, and how values the
// reader does not use are stepped over.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "krv_test_util.h"

using namespace krv;
using namespace krvtest;

namespace {

// The bytes read to their end.
struct MetaReading : FileReading {
  explicit MetaReading(const Bytes& bytes) : FileReading(bytes, "meta.krv"), packets(r->All()) {}
  std::vector<Pkt> packets;
};

// The file-level array and then one array per stream, for a 1-video,
// 1-audio table (layout 0x24).
Bytes Meta(const Bytes& fileLevel, const Bytes& video, const Bytes& audio) {
  Builder b;
  b.Raw(fileLevel).Raw(video).Raw(audio);
  return MetaTag(b.bytes());
}

TEST(KrvMetadata, NegativeDurationBecomesZeroAndNonPositiveSizesAreIgnored) {
  MetaReading m(Concat({FileHeader(0x24),
                        Meta(Array({{"duration", -5000}}),
                             Array({{"width", 0}, {"height", -3}, {"framerate", -1}, {"videodatarate", -2}}),
                             Array({{"audiocodecid", -1}, {"audiosamplesize", 0}})),
                        MediaTag(9, 0, 1, 0x10, {1})}));
  EXPECT_EQ(m.r->ctx->duration, 0);
  EXPECT_EQ(m.r->Stream(0)->width, 0);
  EXPECT_EQ(m.r->Stream(0)->height, 0);
  EXPECT_EQ(m.r->Stream(0)->fps, 0);
  EXPECT_EQ(m.r->Stream(0)->bit_rate, 0);
  EXPECT_EQ(m.r->Stream(1)->codec_id, CODEC_NONE);
  EXPECT_EQ(m.r->Stream(1)->bits_per_sample, 0);
}

TEST(KrvMetadata, AudioKeysAfterAnAudioTag) {
  for (auto [given, expected] : std::vector<std::pair<int, int>>{
           {44000, 44100}, {22000, 22050}, {11000, 11025}, {5000, 5512}, {8000, 8000}, {16000, 16000}}) {
    MetaReading m(Concat({FileHeader(0x24), Meta(Array({}), Array({}), Array({{"audiosamplerate", given}})),
                          MediaTag(9, 0, 1, 0x10, {1})}));
    EXPECT_EQ(m.r->Stream(1)->sample_rate, expected) << given;
  }
  // An audio tag before a second metadata tag has set the rate already.
  MetaReading m(Concat({FileHeader(0x24), MediaTag(8, 1, 1, 0x06, {1}),
                        Meta(Array({}), Array({}), Array({{"audiosamplerate", 44000}})), MediaTag(9, 0, 2, 0x10, {2})}));
  EXPECT_EQ(m.r->Stream(1)->sample_rate, 11025);

  // Sample size 8 turns 16-bit PCM, set by an earlier audio tag, into 8-bit.
  MetaReading pcm(Concat({FileHeader(0x24), MediaTag(8, 1, 1, 0x32, {1}),
                          Meta(Array({}), Array({}), Array({{"audiosamplesize", 8}})), MediaTag(9, 0, 2, 0x10, {2})}));
  EXPECT_EQ(pcm.r->Stream(1)->codec_id, CODEC_PCM_S8);
  EXPECT_EQ(pcm.r->Stream(1)->bits_per_sample, 8);
}

TEST(KrvMetadata, StreamIdAndStreamTypeChangesRouteLaterTags) {
  MetaReading m(Concat({FileHeader(0x24), Meta(Array({}), Array({}), Array({{"streamid", 42}, {"streamtype", 2}})),
                        MediaTag(22, 42, 1, 0, {1}), MediaTag(8, 1, 2, 0x02, {2})}));
  ASSERT_EQ(m.packets.size(), 2u);
  EXPECT_EQ(m.r->Stream(1)->index, 42);
  EXPECT_EQ(m.r->Stream(1)->kind, KIND_DATA);
  EXPECT_EQ(m.r->ctx->nb_streams, 3) << "identifier 1 is no longer in the table: a new stream";
  EXPECT_EQ(m.r->Stream(2)->index, 1);
  EXPECT_EQ(m.r->Stream(2)->kind, KIND_AUDIO);
}

// Objects, strict arrays, dates, nulls and nested arrays are stepped over;
// keys inside them set nothing; the keys after them still apply.
TEST(KrvMetadata, NestedValuesAreSteppedOver) {
  Builder file;
  file.EcmaBegin().NumEntry("start_time", 7);
  file.Key("object").U8(3).Key("width").Num(111).Key("inner").U8(3).Key("a").Bool(true).Be16(0).U8(9).Be16(0).U8(9);
  file.Key("list").U8(10).Be32(3).Num(1).Str("two").U8(5);
  file.Key("when").U8(11).Raw(Bytes(8, 0x40)).Be16(0);
  file.Key("nothing").U8(5).Key("undefined").U8(6).Key("unsupported").U8(13);
  file.Key("nested").EcmaBegin().NumEntry("width", 222).NumEntry("duration", 1).End();
  file.Key("stereo").Num(1);  // a number under a boolean key: ignored
  file.NumEntry("duration", 3000).End();
  MetaReading m(Concat({FileHeader(0x24), Meta(file.bytes(), Array({{"height", 50}}), Array({})),
                        MediaTag(9, 0, 1, 0x10, {1})}));
  EXPECT_EQ(m.r->ctx->start_time, 7);
  EXPECT_EQ(m.r->ctx->duration, 3000000);
  EXPECT_EQ(m.r->Stream(0)->width, 0);
  EXPECT_EQ(m.r->Stream(0)->height, 50);
  EXPECT_EQ(m.r->Stream(1)->channels, 0);
  ASSERT_EQ(m.packets.size(), 1u);
}

TEST(KrvMetadata, AFailingValueEndsTheMetadataButKeepsWhatCameBefore) {
  Builder file;
  file.EcmaBegin().NumEntry("start_time", 9).Key("busnum").U8(2).Be16(300).Raw(Bytes(300, 'x'));
  file.NumEntry("duration", 3000).End();
  MetaReading m(Concat({FileHeader(0x24), Meta(file.bytes(), Array({{"width", 64}}), Array({})),
                        MediaTag(9, 0, 1, 0x10, {1})}));
  EXPECT_EQ(m.r->ctx->start_time, 9);
  EXPECT_EQ(m.r->ctx->duration, 0) << "after the failing 300-byte string";
  EXPECT_STREQ(m.r->ctx->busnum, "");
  EXPECT_EQ(m.r->Stream(0)->width, 0) << "the stream arrays after the failure are not read";
  EXPECT_EQ(m.packets.size(), 1u) << "reading goes on at the tag's end";
}

TEST(KrvMetadata, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  Builder file;
  file.EcmaBegin().NumEntry("start_time", 5).Key("deep");
  for (int i = 0; i < 100000; ++i) file.U8(3).Key("k");
  file.U8(5);
  MetaReading m(Concat({FileHeader(0x24), Meta(file.bytes(), Bytes{}, Bytes{}), MediaTag(9, 0, 1, 0x10, {1})}));
  EXPECT_EQ(m.r->ctx->start_time, 5);
  EXPECT_EQ(m.packets.size(), 1u);
}

TEST(KrvMetadata, ShortOrForeignMetadataTagsAreNotParsed) {
  // Sizes up to 18 are skipped unparsed; the packet after them is read.
  for (size_t size = 1; size <= 18; ++size) {
    Builder meta;
    meta.Str("onMetaData").EcmaBegin().NumEntry("duration", 1000).End();
    Bytes data(meta.bytes().begin(), meta.bytes().begin() + static_cast<long>(size));
    MetaReading m(Concat({FileHeader(0x24), Tag(18, 0, 0, data), MediaTag(9, 0, 1, 0x10, {1})}));
    EXPECT_EQ(m.packets.size(), 1u) << size;
    EXPECT_EQ(m.r->ctx->duration, 0);
  }
  // Another name than "onMetaData", or a name of 11 bytes or more.
  for (const char* name : {"onMetaDatb", "onMetaData!", "x"}) {
    Builder meta;
    meta.Str(name).EcmaBegin().NumEntry("duration", 1000).End();
    MetaReading m(Concat({FileHeader(0x24), Tag(18, 0, 0, meta.bytes()), MediaTag(9, 0, 1, 0x10, {1})}));
    EXPECT_EQ(m.r->ctx->duration, 0) << name;
    EXPECT_EQ(m.packets.size(), 1u);
  }
}

TEST(KrvMetadata, HostileNumbersDoNotOverflow) {
  MetaReading m(Concat({FileHeader(0x24),
                        Meta(Array({{"duration", 1e300}, {"filesize", -1e300}, {"start_time", std::nan("")}}),
                             Array({{"width", 1e12}, {"videodatarate", 1e15}}), Array({})),
                        MediaTag(9, 0, 1, 0x10, {1})}));
  EXPECT_EQ(m.r->ctx->duration, INT64_MAX);
  EXPECT_EQ(m.r->ctx->start_time, 0);
  EXPECT_EQ(m.r->Stream(0)->width, INT32_MAX);
}

// The metadata walk reads straight from the byte reader's buffer where it
// can and through the byte reader where a value crosses the buffer's end:
// the same tags must give the same context wherever the buffer ends. Nested
// values, long keys and strings, a key with a NUL, a value that runs past
// the tag's end, and a file that ends inside the metadata, through buffers
// of 1 to 64 bytes and the usual size.
struct Facts {
  int64_t start = 0, duration = 0, fileSize = 0;
  std::string busnum;
  std::vector<std::vector<int>> streams;
  std::vector<int64_t> dts;
  bool operator==(const Facts&) const = default;
  friend void PrintTo(const Facts& f, std::ostream* os) {
    *os << "start " << f.start << " duration " << f.duration << " filesize " << f.fileSize << " bus \"" << f.busnum
        << "\" streams";
    for (const auto& st : f.streams) {
      *os << " [";
      for (int v : st) *os << v << " ";
      *os << "]";
    }
    *os << " packets " << f.dts.size();
  }
};

Facts ReadWithBuffer(const std::string& path, int bufferBytes) {
  Facts f;
  auto* ctx = new RecordingContext{};
  RecordingPacket pkt{};
  EXPECT_EQ(url_fopen(&ctx->pb, path.c_str(), URL_RDONLY), 0);
  if (ctx->pb) {
    if (bufferBytes > 0) {
      EXPECT_EQ(url_setbufsize(ctx->pb, bufferBytes), 0);
    }
    krv_read_open(ctx);
    for (int i = 0; i < 100 && krv_read_packet(ctx, &pkt) > 0; ++i) f.dts.push_back(pkt.dts);
    f.start = ctx->start_time;
    f.duration = ctx->duration;
    f.fileSize = ctx->file_size;
    f.busnum = ctx->busnum;
    for (int i = 0; i < kMaxStreams; ++i) {
      const RecordingStream* st = ctx->streams[i];
      if (!st) continue;
      f.streams.push_back({st->index, st->kind, st->codec_id, st->bit_rate, st->width, st->height,
                           st->bits_per_sample, st->sample_rate, st->channels, st->fps});
    }
    url_fclose(ctx->pb);
  }
  packet_free(&pkt);
  krv_read_close(ctx);
  delete ctx;
  return f;
}

TEST(KrvMetadata, ParsedAlikeWhereverTheBufferEnds) {
  // Bus numbers of every length around the 16 bytes short strings are copied by.
  for (int busLen : {0, 15, 16, 17}) {
  const std::string bus = std::string("BUS-0123456789-0123456789").substr(0, static_cast<size_t>(busLen));
  Builder file;
  file.EcmaBegin().NumEntry("start_time", 1710491400).NumEntry("duration", 61000);
  file.Key("busnum").Str(bus);
  file.Key("a_key_longer_than_sixteen_bytes").Num(5).Key("stereo").Bool(true);
  file.Key(std::string("width\0junk", 10)).Num(640);  // compared up to the NUL: "width"
  file.Key("nested").U8(3).Key("width").Num(1).Key("inner").U8(8).Be32(0).NumEntry("height", 2).End().Be16(0).U8(9);
  file.Key("list").U8(10).Be32(3).Num(1).Str("two").U8(5);
  file.Key("when").U8(11).Be32(0).Be32(0).Be16(0);
  file.Key("nothing").U8(6).NumEntry("filesize", 4096).End();
  Builder video, audio;
  video.EcmaBegin().NumEntry("height", 480).NumEntry("framerate", 25).NumEntry("videodatarate", 512);
  video.NumEntry("videocodecid", 7).End();
  audio.EcmaBegin().NumEntry("audiocodecid", 69638).NumEntry("audiosamplerate", 8000);
  audio.NumEntry("audiosamplesize", 16).Key("stereo").Bool(false).End();
  Builder meta;
  meta.Raw(file.bytes()).Raw(video.bytes()).Raw(audio.bytes());
  const Bytes media = Concat({MediaTag(9, 0, 0, 0x10, {1, 2}), MediaTag(8, 1, 40000, 0x2E, {3}),
                              MediaTag(9, 0, 80000, 0x20, {4})});

  // The whole metadata tag; then one whose size ends inside its last array,
  // so that its last values are read from the tags after it; then a file
  // that ends inside the metadata.
  Bytes whole = Concat({FileHeader(0x24), MetaTag(meta.bytes()), media});
  Bytes cut = whole;
  const size_t sizeField = 13 + 5;  // the metadata tag's 24-bit data size
  const uint32_t size = static_cast<uint32_t>(cut[sizeField]) << 16 | cut[sizeField + 1] << 8 | cut[sizeField + 2];
  const uint32_t shorter = size - 12;
  cut[sizeField] = static_cast<uint8_t>(shorter >> 16);
  cut[sizeField + 1] = static_cast<uint8_t>(shorter >> 8);
  cut[sizeField + 2] = static_cast<uint8_t>(shorter);
  Bytes truncated(whole.begin(), whole.begin() + static_cast<long>(13 + 15 + size - 30));

  const std::string path = TempPath("buffers.krv");
  int variant = 0;
  for (const Bytes& bytes : {whole, cut, truncated}) {
    WriteFile(path, bytes);
    const Facts usual = ReadWithBuffer(path, 0);
    if (variant == 0) {
      EXPECT_EQ(usual.start, 1710491400);
      EXPECT_EQ(usual.duration, 61000000) << "milliseconds";
      EXPECT_EQ(usual.busnum, bus);
      ASSERT_EQ(usual.streams.size(), 2u);
      EXPECT_EQ(usual.streams[0][4], 640) << "the key with a NUL named width";
      EXPECT_EQ(usual.streams[0][5], 480);
      EXPECT_EQ(usual.streams[0][8], 2) << "stereo, applied to stream 0";
      EXPECT_EQ(usual.streams[0][2], CODEC_H264);
      EXPECT_EQ(usual.streams[0][3], 512 * 1024) << "kbit/s of 1024 bits";
      EXPECT_EQ(usual.streams[0][9], 25);
      EXPECT_EQ(usual.streams[1], (std::vector<int>{1, KIND_AUDIO, CODEC_ADPCM_MS, 0, 0, 0, 16, 8000, 1, 0}));
      EXPECT_EQ(usual.fileSize, 4096);
      EXPECT_EQ(usual.dts.size(), 3u);
    }
    for (int n = 1; n <= 64; ++n)
      EXPECT_EQ(ReadWithBuffer(path, n), usual) << "bus length " << busLen << ", variant " << variant << ", buffer " << n;
    ++variant;
  }
  std::remove(path.c_str());
  }
}

}  // namespace
