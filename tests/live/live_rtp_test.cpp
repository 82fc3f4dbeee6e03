// The live channels against a real RTSP server (tests/live/rtsp_server.py):
// pictures reach the video filter on their channel, recordings are valid
// KRV files that start at a key frame, the SDP's parameter sets stand in for
// missing in-band ones, authentication, unreachable recorders, and a server
// that dies and comes back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "corvane/core/record_name.h"
#include "krvreader/krv.h"
#include "krvreader/reader.h"
#include "live/live_rtp.h"
#include "live/reachability.h"
#include "media/ac_movie_filter.h"
#include "rtsp_peer.h"

using namespace live;
using livetest::ProbeFile;
using livetest::Probed;
using livetest::RtspPeer;

namespace {

// Every state told, for waiting on.
class Events {
 public:
  void Add(const LiveEvent& e) {
    std::lock_guard<std::mutex> lock(m_);
    list_.push_back(e);
    cv_.notify_all();
  }
  bool WaitFor(int channel, LiveState state, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return CountLocked(channel, state) > 0; });
  }
  bool WaitForAny(int channel, std::vector<LiveState> states, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      for (LiveState s : states)
        if (CountLocked(channel, s) > 0) return true;
      return false;
    });
  }
  int Count(int channel, LiveState state) {
    std::lock_guard<std::mutex> lock(m_);
    return CountLocked(channel, state);
  }
  std::vector<LiveEvent> All() {
    std::lock_guard<std::mutex> lock(m_);
    return list_;
  }

 private:
  int CountLocked(int channel, LiveState state) const {
    int n = 0;
    for (const LiveEvent& e : list_)
      if (e.channel == channel && e.state == state) ++n;
    return n;
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<LiveEvent> list_;
};

// A filter without panes whose new pictures are counted, with the last
// barcode of each channel.
struct CountingFilter {
  media::ACMovieFilter filter;
  std::atomic<int> pictures[4] = {};
  std::atomic<int> firstCode[4] = {-1, -1, -1, -1};
  std::atomic<int> lastCode[4] = {-1, -1, -1, -1};
  std::atomic<int> backwards[4] = {};
  CountingFilter() {
    filter.SetNewPictureObserver([this](int c, int64_t, const unsigned char* p, int w, int h) {
      const int code = livetest::BarcodeOfYuy2(p, w, h);
      if (lastCode[c].load() >= 0 && code < lastCode[c].load()) backwards[c].fetch_add(1);
      if (firstCode[c].load() < 0) firstCode[c].store(code);
      lastCode[c].store(code);
      pictures[c].fetch_add(1);
    });
    filter.InitFilter(nullptr);
  }
  ~CountingFilter() { filter.FinalFilter(); }
  bool WaitPictures(int channel, int count, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pictures[channel].load() < count) {
      if (std::chrono::steady_clock::now() > end) return false;
      media::acSleepMs(10);
    }
    return true;
  }
};

class LiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = livetest::TempFolder("rec");
    live_.SetObserver([this](const LiveEvent& e) { events_.Add(e); });
  }
  void TearDown() override {
    // The channels end before the filter they feed goes.
    live_.CloseAll();
    filter_.reset();
    peer_.Kill();
    std::system(("rm -rf '" + folder_ + "'").c_str());
  }
  CountingFilter& Filter() {
    if (!filter_) filter_ = std::make_unique<CountingFilter>();
    live_.SetMovieFilter(&filter_->filter);
    return *filter_;
  }
  std::string folder_;
  Events events_;
  std::unique_ptr<CountingFilter> filter_;
  RtspPeer peer_;
  LiveRtp live_;
};

}  // namespace

TEST_F(LiveTest, FourChannelsShowMovingPictures) {
  ASSERT_TRUE(peer_.Start());
  CountingFilter& f = Filter();
  for (int c = 0; c < 4; ++c) ASSERT_EQ(live_.OpenChannel(c, peer_.Url(c).c_str(), folder_.c_str()), 1);
  for (int c = 0; c < 4; ++c) {
    EXPECT_TRUE(events_.WaitFor(c, LiveState::kPlaying, 10000)) << c;
    EXPECT_TRUE(f.filter.IsLive(c));
  }
  for (int c = 0; c < 4; ++c) {
    ASSERT_TRUE(f.WaitPictures(c, 30, 15000)) << "channel " << c;
    // The barcode advances: the pictures are the stream's, decoded in order.
    EXPECT_GT(f.lastCode[c].load(), f.firstCode[c].load()) << c;
    EXPECT_EQ(f.backwards[c].load(), 0) << c;
    const LiveChannelStats s = live_.Stats(c);
    EXPECT_EQ(s.width, 352);
    EXPECT_EQ(s.height, 288);
    EXPECT_GT(s.keyFrames, 0);
  }
  live_.CloseAll();
  for (int c = 0; c < 4; ++c) {
    EXPECT_FALSE(live_.IsOpen(c));
    EXPECT_FALSE(f.filter.IsLive(c));
  }
}

TEST_F(LiveTest, ChannelsOutsideTheFilterAndBadAddressesAreRefused) {
  EXPECT_EQ(live_.OpenChannel(4, "rtsp://127.0.0.1/chn4", folder_.c_str()), 0);
  EXPECT_EQ(live_.OpenChannel(-1, "rtsp://127.0.0.1/chn0", folder_.c_str()), 0);
  EXPECT_EQ(live_.OpenChannel(0, "http://127.0.0.1/chn0", folder_.c_str()), 0);
  EXPECT_EQ(live_.OpenChannel(0, "rtsp:///chn0", folder_.c_str()), 0);
  EXPECT_FALSE(live_.AnyOpen());
  EXPECT_EQ(live_.StartRec(0), 0);  // not open
  EXPECT_EQ(live_.GetRecStatus(0), 0);
  live_.CloseChannel(2);  // closing a channel that is not open is allowed
  live_.StopRec(7);
}

TEST_F(LiveTest, RecordingIsAValidRecordingOfTheChannel) {
  ASSERT_TRUE(peer_.Start());
  live_.SetMovieFilter(nullptr);
  ASSERT_EQ(live_.OpenChannel(2, peer_.Url(2).c_str(), folder_.c_str()), 1);
  ASSERT_TRUE(events_.WaitFor(2, LiveState::kPlaying, 10000));
  std::string error;
  ASSERT_EQ(live_.StartRec(2, &error), 1) << error;
  EXPECT_EQ(live_.GetRecStatus(2), 1);
  const auto start = std::chrono::steady_clock::now();
  while (live_.Stats(2).recorded < 75 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
    media::acSleepMs(20);
  live_.StopRec(2);
  EXPECT_EQ(live_.GetRecStatus(2), 0);
  live_.CloseChannel(2);

  const std::vector<std::string> files = live_.RecordedFiles(2);
  ASSERT_EQ(files.size(), 1u);
  // FOLDER/YYYYMMDD/YYYYMMDDhhmmss_1000_03.krv, which the catalogue reads
  const std::string& path = files[0];
  ASSERT_EQ(path.rfind(folder_ + "/", 0), 0u) << path;
  const std::string name = path.substr(path.rfind('/') + 1);
  const std::string day = path.substr(folder_.size() + 1, 8);
  EXPECT_EQ(name.substr(0, 8), day);
  EXPECT_EQ(name.substr(14), "_1000_03.krv");
  const corvane::RecordName rn = corvane::ParseRecordName(name, corvane::RecordKind::Krv);
  EXPECT_GT(rn.start, 0);
  EXPECT_EQ(rn.typeMask, corvane::kTypeManual & 0x01000000u);

  const Probed p = ProbeFile(path);
  EXPECT_EQ(p.videoStreams, 1);
  EXPECT_EQ(p.width, 352);
  EXPECT_EQ(p.height, 288);
  EXPECT_EQ(p.firstId, 2);  // plays back in the channel's pane
  EXPECT_TRUE(p.firstKey);
  EXPECT_TRUE(p.firstHasSps);
  EXPECT_GE(p.packets, 75);
  EXPECT_EQ(p.endResult, krv::KRV_EPIPE);
  // The trailer's duration: the packets' span plus one picture.
  EXPECT_NEAR(static_cast<double>(p.durationUs), p.packets * 40000.0, 400000.0);
}

TEST_F(LiveTest, RecordingAgainStartsANewFileAndNeverOverwrites) {
  ASSERT_TRUE(peer_.Start());
  ASSERT_EQ(live_.OpenChannel(0, peer_.Url(0).c_str(), folder_.c_str()), 1);
  ASSERT_TRUE(events_.WaitFor(0, LiveState::kPlaying, 10000));
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(live_.StartRec(0), 1);
    const int64_t before = live_.Stats(0).recorded;
    while (live_.Stats(0).recorded < before + 30) media::acSleepMs(20);
    live_.StopRec(0);
  }
  live_.CloseChannel(0);
  const std::vector<std::string> files = live_.RecordedFiles(0);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_NE(files[0], files[1]);  // within one second: the second name moved on
  for (const std::string& f : files) {
    const Probed p = ProbeFile(f);
    EXPECT_TRUE(p.firstKey) << f;
    EXPECT_EQ(p.endResult, krv::KRV_EPIPE) << f;
    EXPECT_GT(p.durationUs, 0) << f;
  }
}

TEST_F(LiveTest, ParameterSetsOnlyInTheSdp) {
  ASSERT_TRUE(peer_.Start({"--sdp-params-only"}));
  CountingFilter& f = Filter();
  ASSERT_EQ(live_.OpenChannel(1, peer_.Url(1).c_str(), folder_.c_str()), 1);
  ASSERT_TRUE(events_.WaitFor(1, LiveState::kPlaying, 10000));
  ASSERT_EQ(live_.StartRec(1), 1);
  ASSERT_TRUE(f.WaitPictures(1, 40, 15000));
  EXPECT_GT(f.lastCode[1].load(), f.firstCode[1].load());
  EXPECT_EQ(f.backwards[1].load(), 0);
  while (live_.Stats(1).recorded < 30) media::acSleepMs(20);
  live_.CloseChannel(1);  // finishes the recording
  const std::vector<std::string> files = live_.RecordedFiles(1);
  ASSERT_EQ(files.size(), 1u);
  const Probed p = ProbeFile(files[0]);
  EXPECT_TRUE(p.firstKey);
  EXPECT_TRUE(p.firstHasSps);  // the SDP's, put in front of the key frame
  EXPECT_EQ(p.width, 352);
  EXPECT_EQ(p.endResult, krv::KRV_EPIPE);
}

TEST_F(LiveTest, Authentication) {
  ASSERT_TRUE(peer_.Start({"--auth", "viewer:s3cret"}));
  CountingFilter& f = Filter();
  LiveCredentials good{"viewer", "s3cret"};
  ASSERT_EQ(live_.OpenChannel(0, peer_.Url(0).c_str(), folder_.c_str(), &good), 1);
  EXPECT_TRUE(events_.WaitFor(0, LiveState::kPlaying, 10000));
  EXPECT_TRUE(f.WaitPictures(0, 10, 15000));

  LiveCredentials bad{"viewer", "wrong"};
  ASSERT_EQ(live_.OpenChannel(3, peer_.Url(3).c_str(), folder_.c_str(), &bad), 1);
  ASSERT_TRUE(events_.WaitFor(3, LiveState::kAuthFailed, 10000));
  // Told once; no attempts follow.
  media::acSleepMs(1500);
  EXPECT_EQ(events_.Count(3, LiveState::kConnecting), 1);
  EXPECT_EQ(events_.Count(3, LiveState::kAuthFailed), 1);
  EXPECT_EQ(events_.Count(3, LiveState::kLost), 0);
  for (const LiveEvent& e : events_.All()) {
    EXPECT_EQ(e.reason.find("wrong"), std::string::npos);
    EXPECT_EQ(LiveEventText(e).find("s3cret"), std::string::npos);
  }
}

TEST_F(LiveTest, UnreachableRecordersAreToldAtOnce) {
  // A port nothing listens on.
  const int closedPort = [] {
    RtspPeer p;
    if (!p.Start()) return 1;
    const int port = p.Port();
    p.Kill();
    return port;
  }();
  EXPECT_EQ(CheckReachable("127.0.0.1", closedPort, kReachWaitMs), Reach::kRefused);
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(live_.OpenChannel(0, ("rtsp://127.0.0.1:" + std::to_string(closedPort) + "/chn0").c_str(), ""), 1);
  ASSERT_EQ(live_.OpenChannel(1, "rtsp://192.0.2.1/chn1", ""), 1);
  EXPECT_TRUE(events_.WaitFor(0, LiveState::kRefused, 5000));
  // A documentation address: no answer (or, behind some firewalls, a refusal).
  EXPECT_TRUE(events_.WaitForAny(1, {LiveState::kNotReachable, LiveState::kRefused}, 5000));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  // The 0.3 s check, not the stream's 3 s time-out (a hang bound, not a speed figure).
  EXPECT_LT(ms, 2500);
  EXPECT_EQ(events_.Count(0, LiveState::kLost), 0);
  live_.CloseAll();
}

TEST_F(LiveTest, ServerKilledMidStreamThenBack) {
  ASSERT_TRUE(peer_.Start());
  const int port = peer_.Port();
  CountingFilter& f = Filter();
  ASSERT_EQ(live_.OpenChannel(0, peer_.Url(0).c_str(), folder_.c_str()), 1);
  ASSERT_TRUE(events_.WaitFor(0, LiveState::kPlaying, 10000));
  ASSERT_EQ(live_.StartRec(0), 1);
  while (live_.Stats(0).recorded < 30) media::acSleepMs(20);
  peer_.Kill();
  ASSERT_TRUE(events_.WaitFor(0, LiveState::kLost, 10000));
  // The recording so far is finished: trailer written, readable to its end.
  std::vector<std::string> files = live_.RecordedFiles(0);
  ASSERT_EQ(files.size(), 1u);
  const Probed first = ProbeFile(files[0]);
  EXPECT_TRUE(first.firstKey);
  EXPECT_GT(first.durationUs, 0);
  EXPECT_EQ(first.endResult, krv::KRV_EPIPE);
  EXPECT_EQ(live_.GetRecStatus(0), 1);  // still asked for

  // Back on the same port: the channel resumes and records into a new file.
  ASSERT_TRUE(peer_.Start({}, port));
  const int before = f.pictures[0].load();
  const auto t0 = std::chrono::steady_clock::now();
  while (live_.Stats(0).connects < 2 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(40))
    media::acSleepMs(50);
  ASSERT_EQ(live_.Stats(0).connects, 2);
  EXPECT_TRUE(f.WaitPictures(0, before + 10, 15000));
  while (live_.Stats(0).recordFiles < 2 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(40))
    media::acSleepMs(50);
  live_.CloseChannel(0);
  files = live_.RecordedFiles(0);
  ASSERT_EQ(files.size(), 2u);
  const Probed second = ProbeFile(files[1]);
  EXPECT_TRUE(second.firstKey);
  EXPECT_EQ(second.endResult, krv::KRV_EPIPE);
  // The lost state said when the next attempt comes.
  bool toldRetry = false;
  for (const LiveEvent& e : events_.All())
    if (e.state == LiveState::kLost && e.retryInSeconds >= 1) toldRetry = true;
  EXPECT_TRUE(toldRetry);
}

TEST_F(LiveTest, AFullRingDropsUpToTheNextKeyFrameAndReadingGoesOn) {
  ASSERT_TRUE(peer_.Start());
  CountingFilter& f = Filter();
  ASSERT_EQ(live_.OpenChannel(0, peer_.Url(0).c_str(), folder_.c_str()), 1);
  ASSERT_TRUE(f.WaitPictures(0, 10, 15000));
  LiveChannelStats before, during;
  {
    // The decoder stalls (every decode waits for the codec lock): the ring
    // fills, and the channel goes on reading and dropping.
    std::lock_guard<media::ACCriticalSection> stall(media::CodecLock);
    before = live_.Stats(0);
    media::acSleepMs(2500);
    during = live_.Stats(0);
  }
  EXPECT_GE(during.packets - before.packets, 40);  // reading did not wait
  EXPECT_GT(during.dropped, before.dropped);
  const int shown = f.pictures[0].load();
  ASSERT_TRUE(f.WaitPictures(0, shown + 30, 15000));
  // After the drop the pictures go on from a key frame: the barcodes still
  // only move forward.
  EXPECT_EQ(f.backwards[0].load(), 0);
}

TEST_F(LiveTest, OpeningAnOpenChannelReplacesItsStream) {
  ASSERT_TRUE(peer_.Start());
  CountingFilter& f = Filter();
  ASSERT_EQ(live_.OpenChannel(0, peer_.Url(0).c_str(), folder_.c_str()), 1);
  ASSERT_TRUE(f.WaitPictures(0, 5, 15000));
  ASSERT_EQ(live_.StartRec(0), 1);
  while (live_.Stats(0).recorded < 10) media::acSleepMs(20);
  ASSERT_EQ(live_.OpenChannel(0, peer_.Url(3).c_str(), folder_.c_str()), 1);
  // The old stream's recording was finished; the new one plays.
  ASSERT_EQ(live_.RecordedFiles(0).size(), 1u);
  EXPECT_EQ(livetest::ProbeFile(live_.RecordedFiles(0)[0]).endResult, krv::KRV_EPIPE);
  EXPECT_EQ(live_.GetRecStatus(0), 0);
  const int shown = f.pictures[0].load();
  EXPECT_TRUE(f.WaitPictures(0, shown + 10, 15000));
  EXPECT_EQ(live_.Stats(0).connects, 1);
  EXPECT_GE(events_.Count(0, LiveState::kPlaying), 2);
}
