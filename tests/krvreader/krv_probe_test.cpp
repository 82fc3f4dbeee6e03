// The information probe the catalogue uses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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

}  // namespace
