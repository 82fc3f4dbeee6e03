// The information probe the catalogue uses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <cstring>
#include <thread>

#include "krv_test_util.h"
#include "krv_writer_util.h"

using namespace krv;
using namespace krvtest;

namespace {

struct Probe {
  int64_t start = -7, duration = -7, bitRate = -7;
  char bus[256];
  int widths[4] = {-1, -1, -1, -1}, heights[4] = {-1, -1, -1, -1}, videoRates[4] = {-1, -1, -1, -1};
  int audioRates[4] = {-1, -1, -1, -1}, frameRates[4] = {-1, -1, -1, -1};
  int result = 0;
  explicit Probe(const char* path, int count = 4, int busLen = 256) {
    std::snprintf(bus, sizeof bus, "untouched");
    result = krv_probe_info(path, &start, &duration, &bitRate, bus, busLen, widths, count, heights, count, videoRates,
                            count, audioRates, count, frameRates, count);
  }
};

TEST(KrvProbe, ArraysCoverTheirCountAndAudioStartsAfterTheVideo) {
  std::string path = TempPath("arrays.krv");
  // Two video and two audio streams (layout 0x48); the audio arrays carry
  // "videodatarate", the one rate key the reader applies to any stream.
  Builder file;
  file.EcmaBegin().NumEntry("duration", 2000).End();
  Builder meta;
  meta.Raw(file.bytes())
      .Raw(Array({{"width", 100}}))
      .Raw(Array({{"width", 200}}))
      .Raw(Array({{"videodatarate", 1}}))
      .Raw(Array({{"videodatarate", 2}}));
  WriteFile(path, Concat({FileHeader(0x48), MetaTag(meta.bytes()), MediaTag(9, 0, 1, 0x10, {1})}));
  Probe p(path.c_str(), 1);
  EXPECT_EQ(p.widths[0], 100);
  EXPECT_EQ(p.widths[1], -1) << "count 1";
  EXPECT_EQ(p.audioRates[0], 1024);
  EXPECT_EQ(p.audioRates[1], -1);
  Probe q(path.c_str());
  EXPECT_EQ(q.widths[1], 200);
  EXPECT_EQ(q.widths[2], -1) << "only two video streams";
  EXPECT_EQ(q.audioRates[1], 2048);
  EXPECT_EQ(q.audioRates[2], -1);
  std::remove(path.c_str());
}

TEST(KrvProbe, LayoutZeroCreatesNoStreamsAndFFFails) {
  std::string path = TempPath("layout.krv");
  Builder file;
  file.EcmaBegin().NumEntry("duration", 2000).NumEntry("width", 64).Key("busnum").Str("Z").End();
  WriteFile(path, Concat({FileHeader(0), MetaTag(file.bytes()), MediaTag(9, 0, 1, 0x10, {1})}));
  Probe p(path.c_str());
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.duration, 2000000);
  EXPECT_STREQ(p.bus, "Z");
  EXPECT_EQ(p.widths[0], -1) << "no streams, no picture sizes";
  int video = -1;
  EXPECT_EQ(krv_probe_counts(path.c_str(), &video, nullptr, nullptr), 0);
  EXPECT_EQ(video, 0);

  WriteFile(path, Concat({FileHeader(0xFF), MetaTag(file.bytes())}));
  Probe q(path.c_str());
  EXPECT_EQ(q.result, KRV_ENOMEM);
  EXPECT_EQ(q.duration, -7) << "outputs untouched";
  EXPECT_EQ(krv_probe_counts(path.c_str(), &video, nullptr, nullptr), KRV_ENOMEM);
  std::remove(path.c_str());
}

TEST(KrvProbe, ReadsOnlyTheMetadataTagsAtTheHeadAndLimitsTheBusNumber) {
  std::string path = TempPath("head.krv");
  Builder first, second, late;
  first.EcmaBegin().NumEntry("start_time", 11).Key("busnum").Str("0123456789").End();
  second.EcmaBegin().NumEntry("duration", -4000).End();
  late.EcmaBegin().NumEntry("start_time", 99).End();
  WriteFile(path, Concat({FileHeader(0x91), MetaTag(first.bytes()), Tag(9, 0, 0, {}), MetaTag(second.bytes()),
                          MediaTag(9, 0, 1, 0x10, {1}), MetaTag(late.bytes())}));
  Probe p(path.c_str(), 4, 5);
  EXPECT_EQ(p.start, 11) << "the metadata after the first packet is not read";
  EXPECT_EQ(p.duration, -7) << "a negative duration is normalised to 0, which is not written";
  EXPECT_STREQ(p.bus, "0123");
  std::remove(path.c_str());
}

// krv_probe_at opens a name in a folder the caller has open: the same facts
// as krv_probe on the path; the name is a file's name whatever its prefix.
TEST(KrvProbe, ANameInAnOpenFolderGivesWhatThePathGives) {
  const std::string dir = TempPath("folder");
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  const std::string name = "ab:20140315083000_1000.krv";  // would name a protocol "ab" as a path
  const std::string path = dir + "/" + name;
  {
    Writing w(path, RecorderStreams(), 1710491400, "BUS-3");
    ASSERT_EQ(w.Header(), 0);
    ASSERT_EQ(w.Packet(0, 0, true, Payload(100, 1), 40000), 0);
  }
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirFd, 0);
  KrvProbeResult at, byPath;
  ASSERT_EQ(krv_probe_at(dirFd, name.c_str(), &at), 0);
  ASSERT_EQ(krv_probe(path.c_str(), &byPath), 0);
  EXPECT_EQ(std::memcmp(&at, &byPath, sizeof at), 0);
  EXPECT_EQ(at.duration_us, 40000);
  EXPECT_STREQ(at.busnum, "BUS-3");
  EXPECT_EQ(at.file_size, static_cast<int64_t>(ReadFile(path).size()));
  EXPECT_EQ(krv_probe(name.c_str(), &byPath), KRV_ENOENT) << "as a path the prefix names a protocol";

  EXPECT_EQ(krv_probe_at(dirFd, "missing.krv", &at), KRV_ENOENT);
  EXPECT_EQ(at.file_size, -1);
  EXPECT_EQ(krv_probe_at(dirFd, ".", &at), KRV_ENOENT) << "a folder";
  EXPECT_EQ(krv_probe_at(-1, name.c_str(), &at), KRV_ENOENT);
  EXPECT_EQ(at.file_size, -1);
  EXPECT_EQ(krv_probe_at(dirFd, nullptr, &at), KRV_ENOENT);
  EXPECT_EQ(krv_probe_at(dirFd, name.c_str(), nullptr), KRV_EINVAL);
  ::close(dirFd);
  std::remove(path.c_str());
  ::rmdir(dir.c_str());
}

// The listing's word that a name is a regular file spares the probe the
// question; a name that is no longer one (a folder now) reads as a file
// without a recording, and a name that is gone does not open.
TEST(KrvProbe, ANameVouchedForAsARegularFile) {
  const std::string dir = TempPath("vouched");
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir + "/sub.krv").c_str(), 0755), 0);
  const std::string path = dir + "/20140315083000_1000.krv";
  {
    Writing w(path, RecorderStreams(), 1710491400, "BUS-7");
    ASSERT_EQ(w.Header(), 0);
    ASSERT_EQ(w.Packet(0, 0, true, Payload(100, 1), 40000), 0);
  }
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirFd, 0);
  KrvProbeResult r;
  ASSERT_EQ(krv_probe_regular_at(dirFd, "20140315083000_1000.krv", 4, &r), 0);
  EXPECT_EQ(r.duration_us, 40000);
  EXPECT_STREQ(r.busnum, "BUS-7");
  EXPECT_EQ(r.nb_video_streams, 4);
  EXPECT_EQ(r.file_size, -1);

  const int folder = krv_probe_regular_at(dirFd, "sub.krv", 4, &r);
  EXPECT_TRUE(folder == 0 || folder == KRV_ENOENT) << folder;
  EXPECT_EQ(r.duration_us, 0);
  EXPECT_EQ(r.nb_streams, 0);
  EXPECT_STREQ(r.busnum, "");
  EXPECT_EQ(krv_probe_regular_at(dirFd, "missing.krv", 4, &r), KRV_ENOENT);
  EXPECT_EQ(krv_probe_regular_at(-1, "20140315083000_1000.krv", 4, &r), KRV_ENOENT);
  EXPECT_EQ(krv_probe_regular_at(dirFd, "20140315083000_1000.krv", 4, nullptr), KRV_EINVAL);
  ::close(dirFd);
  std::remove(path.c_str());
  ::rmdir((dir + "/sub.krv").c_str());
  ::rmdir(dir.c_str());
}

TEST(KrvProbe, Failures) {
  // A file that does not open leaves the outputs untouched.
  Probe p("/no/such/file.krv");
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.start, -7);
  EXPECT_EQ(p.duration, -7);
  EXPECT_STREQ(p.bus, "untouched");
  EXPECT_EQ(p.widths[0], -1);
  EXPECT_EQ(krv_probe_info(nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                           nullptr, 0),
            0);
  EXPECT_EQ(krv_probe_counts("/no/such/file.krv", nullptr, nullptr, nullptr), KRV_ENOENT);

  // The result record is cleared.
  KrvProbeResult r;
  std::memset(&r, 0x5A, sizeof r);
  EXPECT_EQ(krv_probe("/no/such/file.krv", &r), KRV_ENOENT);
  EXPECT_EQ(r.file_size, -1);
  EXPECT_EQ(r.duration_us, 0) << "cleared";
  EXPECT_STREQ(r.busnum, "");
  EXPECT_EQ(krv_probe(nullptr, &r), KRV_ENOENT);
  EXPECT_EQ(krv_probe("/no/such/file.krv", nullptr), KRV_EINVAL);
  // A folder is refused by the file protocol.
  EXPECT_EQ(krv_probe("/tmp", &r), KRV_ENOENT);
  EXPECT_EQ(r.file_size, -1);

  // Too many streams: nothing learned but the size.
  std::string path = TempPath("toomany.krv");
  Builder file;
  file.EcmaBegin().NumEntry("duration", 2000).End();
  Bytes bytes = Concat({FileHeader(0xFF), MetaTag(file.bytes())});
  WriteFile(path, bytes);
  EXPECT_EQ(krv_probe(path.c_str(), &r), KRV_ENOMEM);
  EXPECT_EQ(r.file_size, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(r.duration_us, 0);
  EXPECT_EQ(r.nb_streams, 0);

  // An empty file opens: size 0, nothing else.
  WriteFile(path, {});
  EXPECT_EQ(krv_probe(path.c_str(), &r), 0);
  EXPECT_EQ(r.file_size, 0);
  EXPECT_EQ(r.nb_streams, 0);
  std::remove(path.c_str());
}

// The probe has its own context: it may run in another thread while a
// reader reads the same file.
TEST(KrvProbe, RunsBesideAReaderInAnotherThread) {
  std::string path = TempPath("concurrent.krv");
  {
    Writing w(path, RecorderStreams(), 1710491400, "BUS");
    ASSERT_EQ(w.Header(), 0);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(w.Packet(i % 9, i * 10000, i % 9 < 8, Payload(100 + i, 1)), 0);
  }
  std::atomic<int> probes{0};
  std::thread prober([&] {
    for (int i = 0; i < 50; ++i) {
      Probe p(path.c_str());
      if (p.result == 0 && p.duration == 3990000) ++probes;
    }
  });
  size_t packets = 0;
  for (int round = 0; round < 5; ++round) {
    Reading r(path);
    packets += r.All().size();
  }
  prober.join();
  EXPECT_EQ(packets, 5u * 400);
  EXPECT_EQ(probes.load(), 50);
  std::remove(path.c_str());
}



// ---- The probe of a list row -------------------------------------------------------

// Metadata of every shape a damaged or foreign file may carry: file-level
// keys in the streams' arrays (also cut short by a NUL, or as another type),
// stream keys, unknown keys, nested objects and arrays, keys too long to
// read, values of unknown types, several metadata tags, tags cut short.
Bytes RandomMetadataFile(std::mt19937& rng) {
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  const char* keys[] = {"duration", "busnum", "start_time", "filesize", "width", "height", "framerate",
                        "videodatarate", "streamtype", "streamid", "audiosamplerate", "stereo", "audiocodecid",
                        "videocodecid", "audiodatarate", "durationx", "bus", "st", "d", "fil", "startx"};
  auto key = [&](Builder& b) {
    const int k = pick(60);
    if (k >= 23 && k < 59) {
      b.Key(keys[k % 21]);
    } else if (k < 21) {
      b.Key(keys[k]);
    } else if (k == 21) {
      b.Be16(10).Text("duration").U8(0).U8('z');  // read up to the NUL
    } else if (k == 22) {
      b.Be16(7).Text("busnum").U8(0);
    } else {
      b.Be16(300).Raw(Bytes(300, 'd'));  // too long: the array ends
    }
  };
  std::function<void(Builder&, int)> value = [&](Builder& b, int depth) {
    int type = depth > 2 ? pick(5) : pick(40);
    if (type < 16) type = 0;
    else if (type < 22) type = 2;
    else if (type < 25) type = 3;
    else if (type < 27) type = 4;
    else if (type < 28) type = 5;
    else type = type < 31 ? 6 : type < 34 ? 7 : 8;
    switch (type) {
      case 0: b.Num(std::uniform_int_distribution<int>(-5, 90000)(rng)); break;
      case 2: {
        const int text = pick(8);
        if (text < 5) b.Str(pick(4) ? "BUS-" + std::to_string(pick(100)) : "");
        else if (text == 5) b.Str(std::string("AB\0CD", 5));  // a bus number ends at the NUL
        else if (text == 6) b.Str(std::string(255, 'L'));    // the longest text the walk takes
        else b.Str(std::string(256 + static_cast<std::size_t>(pick(50)), 'M'));  // refused: the walk ends
        break;
      }
      case 3: b.U8(1).U8(static_cast<unsigned>(pick(3))); break;  // a boolean; any non-zero byte is true
      case 4: b.U8(5); break;
      case 5: b.U8(static_cast<unsigned>(pick(2) ? 7 : 12)); break;  // unknown types: the walk fails
      case 6: {
        b.U8(3);
        for (int i = pick(3); i > 0; --i) {
          key(b);
          value(b, depth + 1);
        }
        b.Be16(0).U8(9);
        break;
      }
      case 7: {
        b.U8(10).Be32(static_cast<uint32_t>(pick(3)));
        for (int i = pick(3); i > 0; --i) value(b, depth + 1);
        break;
      }
      default: {
        b.EcmaBegin();
        for (int i = pick(4); i > 0; --i) {
          key(b);
          value(b, depth + 1);
        }
        b.End();
        break;
      }
    }
  };
  auto array = [&](Builder& b) {
    if (pick(12) == 0) {
      value(b, 1);  // not an array
      return;
    }
    b.EcmaBegin(5);
    for (int i = pick(9); i > 0; --i) {
      if (pick(4) == 0) {  // a well-formed file-level value
        if (pick(2)) b.NumEntry("duration", std::uniform_int_distribution<int>(1, 90000)(rng));
        else b.Key("busnum").Str("BUS-" + std::to_string(pick(100)));
        continue;
      }
      key(b);
      value(b, 1);
    }
    if (pick(15) != 0) b.End();
  };
  const int layouts[] = {0x91, 0x91, 0x91, 0x49, 0x45, 0x00, 0xE1, 0x21};
  Bytes file = FileHeader(layouts[pick(8)]);
  for (int tags = 1 + pick(2); tags > 0; --tags) {
    Builder meta;
    meta.Str("onMetaData");
    for (int a = 1 + pick(11); a > 0; --a) array(meta);
    Bytes t = MetaTag(meta.bytes());
    if (pick(10) == 0) t.resize(t.size() - static_cast<size_t>(pick(static_cast<int>(t.size()) - 20)));
    file.insert(file.end(), t.begin(), t.end());
  }
  Bytes v = MediaTag(9, 0, 0, 0x10, Payload(200, 1));
  file.insert(file.end(), v.begin(), v.end());
  return file;
}

TEST(KrvProbe, ARowsProbeGivesTheFullProbesFileFactsAndFirstVideoStreams) {
  const std::string dir = TempPath("rowprobe");
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dirFd, 0);
  std::mt19937 rng(20240315);
  int withDuration = 0, withBus = 0;
  for (int round = 0; round < 1500; ++round) {
    const Bytes file = RandomMetadataFile(rng);
    WriteFile(dir + "/r.krv", file);
    KrvProbeResult full;
    const int fullResult = krv_probe_at(dirFd, "r.krv", &full);
    withDuration += full.duration_us != 0;
    withBus += full.busnum[0] != 0;
    for (int wanted : {-1, 0, 1, 2, 4, 10}) {
      KrvProbeResult row;
      ASSERT_EQ(krv_probe_video_at(dirFd, "r.krv", wanted, &row), fullResult) << round;
      EXPECT_EQ(row.start_time, full.start_time) << round << " " << wanted;
      EXPECT_EQ(row.duration_us, full.duration_us) << round << " " << wanted;
      EXPECT_EQ(row.file_size, full.file_size) << round << " " << wanted;
      EXPECT_STREQ(row.busnum, full.busnum) << round << " " << wanted;
      EXPECT_EQ(row.nb_streams, full.nb_streams);
      EXPECT_EQ(row.nb_video_streams, full.nb_video_streams);
      const int same = wanted < 0 ? full.nb_streams : std::min(wanted, full.nb_video_streams);
      for (int i = 0; i < same; ++i)
        EXPECT_EQ(std::memcmp(&row.streams[i], &full.streams[i], sizeof row.streams[i]), 0)
            << round << " " << wanted << " stream " << i;
      if (wanted < 0) {
        EXPECT_EQ(std::memcmp(&row, &full, sizeof row), 0) << round;
      }
      // A name the listing typed as a regular file: the same, without the size.
      KrvProbeResult listed;
      ASSERT_EQ(krv_probe_regular_at(dirFd, "r.krv", wanted, &listed), fullResult) << round;
      EXPECT_EQ(listed.file_size, -1);
      listed.file_size = row.file_size;
      EXPECT_EQ(std::memcmp(&listed, &row, sizeof row), 0) << round << " " << wanted;
    }
  }
  EXPECT_GT(withDuration, 300) << "the files should mostly carry a duration";
  EXPECT_GT(withBus, 300);
  ::close(dirFd);
  std::remove((dir + "/r.krv").c_str());
  ::rmdir(dir.c_str());
}

// The metadata walk reads entries in place where the buffer holds them and
// through the byte reader where it does not: the reader's context and
// streams are the same whatever the buffer size, on the same varied metadata.
std::vector<int64_t> ReaderFacts(const std::string& path, int bufferBytes) {
  std::vector<int64_t> f;
  krv::Reader r;
  if (!r.Open(path)) return f;
  RecordingContext* ctx = r.Context();
  if (bufferBytes > 0) {
    EXPECT_EQ(url_setbufsize(ctx->pb, bufferBytes), 0);
  }
  r.Next();
  f = {ctx->start_time, ctx->duration, ctx->file_size, ctx->nb_streams};
  for (const char* c = ctx->busnum; *c; ++c) f.push_back(*c);
  for (int i = 0; i < kMaxStreams; ++i) {
    const RecordingStream* st = ctx->streams[i];
    if (!st) continue;
    f.insert(f.end(), {st->index, st->kind, st->codec_id, st->bit_rate, st->width, st->height, st->bits_per_sample,
                       st->sample_rate, st->channels, st->fps});
  }
  return f;
}

TEST(KrvProbe, MetadataGivesTheSameFactsWhateverTheBufferHolds) {
  const std::string path = TempPath("bufmeta.krv");
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    WriteFile(path, RandomMetadataFile(rng));
    const std::vector<int64_t> usual = ReaderFacts(path, 0);
    for (int bytes : {1, 13, 64, 300}) EXPECT_EQ(ReaderFacts(path, bytes), usual) << round << " " << bytes;
  }
  std::remove(path.c_str());
}

}  // namespace
