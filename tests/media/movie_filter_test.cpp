// The video filter with real H.264 (krvsynth recordings read with the
// container reader) and null renderers: hold, one-frame and blank, the clock
// rule, flushing, and closing in every state: each picture shown is the one
// a decoder makes of its packet, in DTS order. The switch is checked through
// the whole pipeline (tests/playback/reader_playback_test.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "media/ac_h264_decoder.h"
#include "media/ac_movie_filter.h"
#include "media/play_gates.h"
#include "media/vo_null.h"
#include "media/yuv_convert.h"
#include "pipeline_support.h"

extern "C" {
#include <libavutil/adler32.h>
}

using namespace media;
using namespace pipelinetest;

namespace {

constexpr int64_t kFarAhead = std::numeric_limits<int64_t>::max() / 4;

struct Shown {
  int channel;
  int64_t dts;
  uint32_t adler;
  int width;
  int height;
};

uint32_t adlerOf(const unsigned char* p, int width, int height) {
  return av_adler32_update(1, p, static_cast<size_t>(width) * height * 2);
}

const std::vector<Packet>& videoPackets() {
  static const std::vector<Packet> packets = [] {
    const std::string path = Recording("filter_4ch_704x576_1s.krv", 1, 4, 704, 576);
    return path.empty() ? std::vector<Packet>{} : ReadPackets(path, 0);
  }();
  return packets;
}

std::vector<Packet> channelPackets(int channel) {
  std::vector<Packet> out;
  for (const Packet& p : videoPackets())
    if (p.channel == channel) out.push_back(p);
  return out;
}

// The YUY2 pictures one decoder makes of a channel's packets, one per
// packet, decoded on this thread: what the filter must show.
std::vector<uint32_t> referenceAdlers(const std::vector<Packet>& packets) {
  ACH264Decoder decoder;
  std::vector<unsigned char> planar(kMediaBufferBytes), yuy2(kMediaBufferBytes);
  decoder.SetOutputCapacity(kMediaBufferBytes);
  std::vector<uint32_t> out;
  for (const Packet& p : packets) {
    int len = 0;
    {
      std::lock_guard<ACCriticalSection> lock(CodecLock);
      decoder.Decode(p.channel, p.data.data(), static_cast<int>(p.data.size()), &len, p.width, p.height,
                     planar.data());
    }
    acPlanarToYUY2(planar.data(), yuy2.data(), p.width, p.height);
    out.push_back(adlerOf(yuy2.data(), p.width, p.height));
  }
  return out;
}

// A tick count the test moves forward, or stops.
class SkewedClock : public ACTickClock {
 public:
  uint32_t Now() const override { return frozen.load() ? 1000 : acTickCount() + skew.load(); }
  std::atomic<uint32_t> skew{0};
  std::atomic<bool> frozen{false};
};

struct FilterFixture : ::testing::Test {
  VoNullStats stats[4];
  ACParam param;
  ACMovieFilter filter;
  SkewedClock tick;
  std::mutex mutex;
  std::vector<Shown> pictures;  // taken from the pools
  std::vector<Shown> shows;     // every ShowMovie

  void SetUp() override { ASSERT_FALSE(videoPackets().empty()) << "no test recording"; }

  void Init() {
    param.channelCount = 4;
    for (int c = 0; c < 4; ++c) param.windows[c] = &stats[c];
    filter.SetTickClock(&tick);
    filter.SetNewPictureObserver([this](int c, int64_t dts, const unsigned char* p, int w, int h) {
      std::lock_guard<std::mutex> lock(mutex);
      pictures.push_back({c, dts, adlerOf(p, w, h), w, h});
    });
    filter.SetShowObserver([this](int c, int64_t dts, const unsigned char* p, int w, int h) {
      std::lock_guard<std::mutex> lock(mutex);
      shows.push_back({c, dts, adlerOf(p, w, h), w, h});
    });
    ASSERT_EQ(filter.InitFilter(&param), 1);
  }
  void TearDown() override { filter.FinalFilter(); }

  void Feed(const Packet& p, int64_t dts) {
    std::vector<unsigned char> data = p.data;
    while (filter.InputData(p.channel, p.codecId, dts, data.data(), static_cast<int>(data.size()), p.width,
                            p.height) == 0)
      acSleepMs(1);
  }
  void Feed(const Packet& p) { Feed(p, p.dtsMs); }

  std::vector<Shown> Of(const std::vector<Shown>& all, int channel) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<Shown> out;
    for (const Shown& s : all)
      if (s.channel == channel) out.push_back(s);
    return out;
  }
  std::vector<Shown> Pictures(int channel) { return Of(pictures, channel); }
  std::vector<Shown> Shows(int channel) { return Of(shows, channel); }
  std::vector<int64_t> PictureTimes(int channel) {
    std::vector<int64_t> out;
    for (const Shown& s : Pictures(channel)) out.push_back(s.dts);
    return out;
  }
};

}  // namespace

TEST_F(FilterFixture, EveryPacketYieldsOnePictureInDtsOrderOnEveryChannel) {
  tick.frozen.store(true);  // no blank picture, however slow the machine
  Init();
  filter.CurDTS(kFarAhead);
  for (const Packet& p : videoPackets()) Feed(p);
  filter.InputData(static_cast<int>(DTS_END));  // pushes each channel's last picture out
  for (int c = 0; c < 4; ++c) {
    const auto packets = channelPackets(c);
    ASSERT_FALSE(packets.empty());
    ASSERT_TRUE(WaitFor([&] { filter.CurDTS(kFarAhead); return Pictures(c).size() >= packets.size(); }, 20000))
        << "channel " << c;
    const auto reference = referenceAdlers(packets);
    const auto shown = Pictures(c);
    ASSERT_EQ(shown.size(), packets.size()) << "channel " << c;
    for (size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].dts, packets[i].dtsMs) << "channel " << c << " picture " << i;
      EXPECT_EQ(shown[i].adler, reference[i]) << "channel " << c << " picture " << i;
      EXPECT_EQ(shown[i].width, 704);
      EXPECT_EQ(shown[i].height, 576);
    }
    // The renderer was given each of them.
    EXPECT_GE(stats[c].frames.load(), static_cast<int64_t>(packets.size()));
    EXPECT_EQ(stats[c].lastWidth.load(), 704);
  }
}

TEST_F(FilterFixture, HoldTakesNoPictureHoweverFarTheClockMoves) {
  Init();
  const auto packets = channelPackets(1);
  filter.CurDTS(kFarAhead);
  for (int i = 0; i < 3; ++i) Feed(packets[i]);
  ASSERT_TRUE(WaitFor([&] { return Pictures(1).size() >= 2; }, 5000));
  filter.PushFrame(1);
  acSleepMs(50);
  const size_t before = Pictures(1).size();
  const size_t showsBefore = Shows(1).size();
  for (int i = 3; i < 10; ++i) Feed(packets[i]);
  acSleepMs(200);
  EXPECT_EQ(Pictures(1).size(), before);
  // The current picture is shown again about every 33 ms meanwhile.
  const auto shows = Shows(1);
  EXPECT_GE(shows.size(), showsBefore + 3);
  EXPECT_EQ(shows.back().dts, Pictures(1).back().dts);
  filter.PushFrame(0);
  ASSERT_TRUE(WaitFor([&] { return Pictures(1).size() >= 9; }, 5000));
}

TEST_F(FilterFixture, BlankPictureAfterFourSecondsWithoutPictures) {
  Init();
  const auto packets = channelPackets(2);
  filter.CurDTS(kFarAhead);
  for (int i = 0; i < 3; ++i) Feed(packets[i]);
  filter.InputData(static_cast<int>(DTS_END));
  ASSERT_TRUE(WaitFor([&] { return Pictures(2).size() >= 3; }, 5000));
  acSleepMs(50);
  auto blanks = [&] {
    int n = 0;
    for (const Shown& s : Shows(2)) n += (s.width == 176 && s.height == 144) ? 1 : 0;
    return n;
  };
  EXPECT_EQ(blanks(), 0);
  tick.skew.store(4100);  // just over 4 s later
  ASSERT_TRUE(WaitFor([&] { return blanks() >= 2; }, 2000));
  const auto shows = Shows(2);
  EXPECT_EQ(shows.back().dts, 0);
  EXPECT_EQ(shows.back().adler, adlerOf(std::vector<unsigned char>(176 * 144 * 2, 0).data(), 176, 144));
}

TEST_F(FilterFixture, OneFrameKeepsTheLastPictureInsteadOfBlanking) {
  Init();
  const auto packets = channelPackets(3);
  filter.CurDTS(kFarAhead);
  filter.OneFrame(1);
  for (int i = 0; i < 3; ++i) Feed(packets[i]);
  ASSERT_TRUE(WaitFor([&] { return Pictures(3).size() >= 2; }, 5000));
  tick.skew.store(10000);
  acSleepMs(200);
  const auto shows = Shows(3);
  for (const Shown& s : shows) EXPECT_EQ(s.width, 704);
  // Re-shown every 10 ms or so.
  EXPECT_GE(shows.size(), 6u);
  EXPECT_EQ(shows.back().dts, packets[1].dtsMs);
}

TEST_F(FilterFixture, APictureFarAheadOfTheClockIsShownAtOnce) {
  Init();
  const auto packets = channelPackets(0);
  filter.CurDTS(0);
  // 600 ms ahead: the clock counts as 500 ms or more behind, so 640 follows.
  Feed(packets[0], 0);
  Feed(packets[1], 600);
  Feed(packets[2], 640);
  filter.InputData(static_cast<int>(DTS_END));
  ASSERT_TRUE(WaitFor([&] { return Pictures(0).size() >= 3; }, 5000));
  EXPECT_EQ(PictureTimes(0), (std::vector<int64_t>{0, 600, 640}));
}

TEST_F(FilterFixture, APictureLessThan500MsAheadWaitsForTheClock) {
  Init();
  const auto packets = channelPackets(0);
  filter.CurDTS(0);
  Feed(packets[0], 0);
  Feed(packets[1], 400);
  Feed(packets[2], 440);
  Feed(packets[3], 480);
  ASSERT_TRUE(WaitFor([&] { return Pictures(0).size() >= 2; }, 5000));
  acSleepMs(150);
  EXPECT_EQ(PictureTimes(0), (std::vector<int64_t>{0, 400}));
  filter.CurDTS(400);
  ASSERT_TRUE(WaitFor([&] { return Pictures(0).size() >= 3; }, 5000));
  acSleepMs(50);
  EXPECT_EQ(PictureTimes(0), (std::vector<int64_t>{0, 400, 440}));
}

TEST_F(FilterFixture, EmptyDataDropsEverythingWaiting) {
  Init();
  const auto packets = channelPackets(0);
  filter.CurDTS(0);
  for (int i = 0; i < 15; ++i) Feed(packets[i]);
  ASSERT_TRUE(WaitFor([&] { return Pictures(0).size() >= 2; }, 5000));
  acSleepMs(100);
  const int64_t start = NowMs();
  filter.EmptyData();
  EXPECT_LT(NowMs() - start, 1000);
  filter.CurDTS(kFarAhead);
  acSleepMs(150);
  EXPECT_EQ(Pictures(0).size(), 2u);
  // The channel plays on after the flush.
  for (int i = 0; i < 3; ++i) Feed(packets[i]);
  filter.InputData(static_cast<int>(DTS_END));
  ASSERT_TRUE(WaitFor([&] { return Pictures(0).size() >= 5; }, 5000));
}

TEST(FilterLifecycle, EmptyDataAndMarkersReturnWithoutRunningThreads) {
  ACMovieFilter filter;
  const int64_t start = NowMs();
  filter.EmptyData();
  filter.InputData(static_cast<int>(DTS_BEGIN));
  EXPECT_LT(NowMs() - start, 500);
  // A full ring with no decode thread: the marker gives up instead of
  // waiting for ever.
  for (int i = 0; i < 25; ++i) filter.InputData(static_cast<int>(DTS_SWITCH));
  EXPECT_LT(NowMs() - start, 1000);
  filter.FinalFilter();
}

TEST(FilterLifecycle, PacketsWithBothGatesClosedAreDroppedAsTaken) {
  PlayGates gates;
  ACMovieFilter filter;
  filter.SetPlayGates(&gates);
  std::atomic<int> pictures{0};
  filter.SetNewPictureObserver([&](int, int64_t, const unsigned char*, int, int) { pictures.fetch_add(1); });
  filter.InitFilter(nullptr);
  filter.CurDTS(kFarAhead);
  ASSERT_FALSE(videoPackets().empty());
  std::vector<unsigned char> data = videoPackets()[0].data;
  for (int i = 0; i < 40; ++i)
    ASSERT_EQ(filter.InputData(0, 28, i * 40, data.data(), static_cast<int>(data.size()), 704, 576), 1);
  std::vector<unsigned char> huge(kMediaBufferBytes + 1);
  EXPECT_EQ(filter.InputData(0, 28, 0, huge.data(), static_cast<int>(huge.size()), 704, 576), 1);
  EXPECT_EQ(filter.InputData(7, 28, 0, data.data(), static_cast<int>(data.size()), 704, 576), 1);
  acSleepMs(100);
  EXPECT_EQ(pictures.load(), 0);
  filter.FinalFilter();
}

TEST(FilterLifecycle, ClosingEndsEveryThreadWithinOneSecondInEveryState) {
  ASSERT_FALSE(videoPackets().empty());
  for (int state = 0; state < 3; ++state) {
    SCOPED_TRACE(state == 0 ? "playing" : state == 1 ? "held with full queues" : "marker blocked on full rings");
    ACMovieFilter filter;
    VoNullStats stats[4];
    ACParam param;
    param.channelCount = 4;
    for (int c = 0; c < 4; ++c) param.windows[c] = &stats[c];
    filter.InitFilter(&param);
    filter.CurDTS(state == 0 ? kFarAhead : 0);
    if (state > 0) filter.PushFrame(1);
    // Fill every ring and pool: with the display held (or the clock at 0)
    // the decode threads stop on full pools and the rings fill.
    std::thread marker;
    // Playing: one round of the recording. Held: the recording over and
    // over (later times each round) until every pool and ring is full.
    auto allFull = [&] {
      for (int c = 0; c < 4; ++c)
        if (filter.QueuedPictures(c) < ACMovieList::kSlots - 1 || filter.QueuedPackets(c) < ACMediaList::kSlots)
          return false;
      return true;
    };
    const int64_t deadline = NowMs() + 30000;
    for (int round = 0; round < (state == 0 ? 1 : 100) && NowMs() < deadline; ++round) {
      for (const Packet& p : videoPackets()) {
        std::vector<unsigned char> data = p.data;
        while (filter.InputData(p.channel, p.codecId, p.dtsMs + round * 1000, data.data(),
                                static_cast<int>(data.size()), p.width, p.height) == 0 &&
               NowMs() < deadline) {
          if (state > 0 && allFull()) break;
          acSleepMs(1);
        }
      }
      if (state > 0 && allFull()) break;
    }
    if (state > 0) {
      ASSERT_TRUE(allFull());
    }
    std::atomic<bool> markerDone{false};
    if (state == 2) {
      marker = std::thread([&] {
        filter.InputData(static_cast<int>(DTS_SWITCH));
        markerDone.store(true);
      });
      acSleepMs(100);
      EXPECT_FALSE(markerDone.load());
    }
    const int64_t start = NowMs();
    filter.FinalFilter();
    EXPECT_LT(NowMs() - start, 1000);
    if (marker.joinable()) marker.join();
    EXPECT_LT(NowMs() - start, 1000);
  }
}
