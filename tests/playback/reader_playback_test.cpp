// The KRV reader thread through the real pipeline: every packet a picture,
// switches, seeks, fast playback, second play, vehicle records, snapshots,
// and the opening of a file that begins with a key frame.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "headless_player.h"
#include "media/ac_sound_player.h"
#include "playback/reader_export.h"
#include "playback_test_util.h"
#include "vehicle/amf_record.h"
#include "vehicle/vehicle_state.h"

namespace {

using krvplayer::HeadlessPlayer;
using krvplayer::PlayTimePost;
using krvplayer::ShownPicture;
using playtest::Packet;
using vehicle::SeenRecord;

constexpr int64_t kStart = 1700000000;  // 2023-11-14 22:13:20 UTC
constexpr int kWaitMs = 30000;

class KrvPlayback : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new playtest::TempDir();
    auto a = playtest::Small(3);
    a.startTime = kStart;
    playtest::MakeKrv(a, A());
    auto b = playtest::Small(3, 4, 128, 96);
    b.seed = 2;
    playtest::MakeKrv(b, B());
    auto g = playtest::Small(6, 2);
    g.gop = 30;  // key frames at 0, 1.2, 2.4, 3.6, 4.8 s
    playtest::MakeKrv(g, Gop30());
    // The same recording without a duration: its metadata key renamed.
    krvtest::Bytes bytes = krvtest::ReadFile(A());
    const std::string key = "duration";
    auto at = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
    ASSERT_NE(at, bytes.end());
    at[7] = 'X';
    krvtest::WriteFile(NoDuration(), bytes);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string A() { return dir_->File("20231114221320_1000.krv"); }
  static std::string B() { return dir_->File("20231114221500_0100.krv"); }
  static std::string Gop30() { return dir_->File("20231114222000_0010.krv"); }
  static std::string NoDuration() { return dir_->File("20231114223000_0001.krv"); }

  static HeadlessPlayer::Options Opts() {
    HeadlessPlayer::Options o;
    o.snapshotFolder = dir_->File("snap") + "/";
    return o;
  }
  // Plays `file` at x2 until the clock reports `second`.
  static bool PlayUntilSecond(HeadlessPlayer& p, const std::string& file, int second) {
    p.SetSpeed(32);
    p.OpenKrv(file);
    return p.WaitForPost([second](const PlayTimePost& t) { return t.value == second; }, kWaitMs);
  }

  // Waits until every channel showed `want[c]` pictures (the last ones are
  // shown a little after the clock reported the end).
  static bool WaitPictures(HeadlessPlayer& p, const std::map<int, std::vector<int64_t>>& want) {
    return HeadlessPlayer::WaitUntil(
        [&] {
          for (const auto& [c, times] : want)
            if (p.Channel(c).pictures < static_cast<int64_t>(times.size())) return false;
          return true;
        },
        5000);
  }

  static std::map<int, std::vector<ShownPicture>> ByChannel(const std::vector<ShownPicture>& all) {
    std::map<int, std::vector<ShownPicture>> out;
    for (const ShownPicture& s : all) out[s.channel].push_back(s);
    return out;
  }

  static int64_t Count(const std::vector<PlayTimePost>& posts, int64_t value) {
    return std::count_if(posts.begin(), posts.end(), [&](const PlayTimePost& p) { return p.value == value; });
  }

  static playtest::TempDir* dir_;
};

playtest::TempDir* KrvPlayback::dir_ = nullptr;

TEST_F(KrvPlayback, EveryVideoPacketShowsOnePictureInTimeOrderAtDoubleSpeed) {
  const auto packets = playtest::ReadAll(A());
  const auto want = playtest::VideoTimesMs(packets, false);
  ASSERT_EQ(want.size(), 4u);
  const int64_t sound = std::count_if(packets.begin(), packets.end(), [](const Packet& p) { return p.id == 4; });

  HeadlessPlayer p(Opts());
  p.SetSpeed(32);
  p.OpenKrv(A());
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(WaitPictures(p, want));
  auto shown = ByChannel(p.Pictures());
  for (const auto& [c, times] : want) {
    SCOPED_TRACE(c);
    auto s = p.Channel(c);
    EXPECT_EQ(s.pictures, static_cast<int64_t>(times.size()));
    EXPECT_EQ(s.outOfOrder, 0);
    std::vector<int64_t> got;
    for (const ShownPicture& pic : shown[c]) {
      got.push_back(pic.dts);
      EXPECT_EQ(pic.width, 176);
      EXPECT_EQ(pic.height, 144);
    }
    EXPECT_EQ(got, times);
    EXPECT_EQ(p.RendererStats(c).lastWidth.load(), 176);
  }
  // Every frame and the sound of channel 0 went in at x2.
  EXPECT_EQ(p.State().stats.videoSkipped.load(), 0);
  EXPECT_EQ(p.State().stats.audioPassed.load(), sound);
  // The play time: the opening marker, each second once and in order, the end.
  auto posts = p.Posts();
  ASSERT_GE(posts.size(), 5u);
  EXPECT_EQ(posts.front().value, media::DTS_BEGIN);
  EXPECT_EQ(posts.back().value, media::DTS_END);
  std::vector<int64_t> seconds;
  for (const PlayTimePost& post : posts) {
    // The length is known once the metadata tag has been read, which comes
    // with the first packet: from the first second on.
    if (post.value != media::DTS_BEGIN) {
      EXPECT_EQ(post.lengthSeconds, 3) << post.value;
    }
    if (post.value >= 0) seconds.push_back(post.value);
  }
  EXPECT_EQ(seconds, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(p.LastStartTime(), kStart);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, SwitchInMidPlayShowsNoOldPictureAfterTheFirstNewOne) {
  const auto wantB = playtest::VideoTimesMs(playtest::ReadAll(B()), false);
  HeadlessPlayer p(Opts());
  ASSERT_TRUE(PlayUntilSecond(p, A(), 1));
  const size_t before = p.PostCount();
  p.OpenKrv(B());
  ASSERT_TRUE(p.WaitForEnd(kWaitMs, before));
  // The last pictures are shown a little after the clock reported the end:
  // wait for every channel's last one of the new file.
  HeadlessPlayer::WaitUntil(
      [&] {
        auto byChannel = ByChannel(p.Pictures());
        for (int c = 0; c < 4; ++c)
          if (byChannel[c].empty() || byChannel[c].back().width != 128 ||
              byChannel[c].back().dts != wantB.at(c).back())
            return false;
        return true;
      },
      5000);
  auto shown = ByChannel(p.Pictures());
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);
    bool sawNew = false;
    int64_t oldPictures = 0, newPictures = 0;
    for (const ShownPicture& pic : shown[c]) {
      if (pic.width == 128) {
        sawNew = true;
        ++newPictures;
      } else {
        EXPECT_FALSE(sawNew) << "an old picture at " << pic.dts << " after the new file's first";
        ++oldPictures;
      }
    }
    EXPECT_GT(oldPictures, 0);
    // The new file from its start: every one of its pictures, in order.
    EXPECT_EQ(newPictures, static_cast<int64_t>(wantB.at(c).size()));
  }
  auto posts = p.Posts();
  EXPECT_EQ(Count(posts, media::DTS_SWITCH), 1);
  EXPECT_EQ(Count(posts, media::DTS_BEGIN), 2);
  EXPECT_EQ(p.State().stats.markers[1].load(), 1);
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Map().Counts().seek == 1 && p.Chart().Counts().clear == 1; },
                                        2000));

  // The advance after the end (message 0x472) leaves a recording that ran
  // out: no switch marker, no "Seek", no "Clear".
  const size_t atEnd = p.PostCount();
  p.AdvanceKrv(A());
  ASSERT_TRUE(p.WaitForEnd(kWaitMs, atEnd));
  EXPECT_EQ(p.State().stats.markers[1].load(), 1);
  EXPECT_EQ(Count(p.Posts(), media::DTS_SWITCH), 1);
  EXPECT_EQ(p.Map().Counts().seek, 1);
  EXPECT_EQ(p.Chart().Counts().clear, 1);
  EXPECT_EQ(p.RecordingsOpened(), 3);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, SeekLandsOnTheKeyFrameTheContainerChooses) {
  // The key frame the container's seek picks for second 4: the last one
  // whose second is not after 4, here the one at 4.8 s.
  Packet chosen;
  {
    krvtest::Reading r(Gop30());
    ASSERT_TRUE(krv::krv_seek_keyframe_estimate(r.ctx, 4000000, r.ctx->file_size, r.ctx->duration));
    krvtest::Pkt k;
    ASSERT_TRUE(r.Next(&k));
    chosen.id = k.id;
    chosen.dts = k.dts;
    chosen.key = k.key;
  }
  ASSERT_TRUE(chosen.key);
  ASSERT_EQ(chosen.dts, 4800000);

  HeadlessPlayer p(Opts());
  ASSERT_TRUE(PlayUntilSecond(p, Gop30(), 1));
  p.Seek(4);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  HeadlessPlayer::WaitUntil([&] { return p.Channel(0).lastDts == 5960 && p.Channel(1).lastDts == 5960; }, 5000);
  auto shown = ByChannel(p.Pictures());
  for (int c = 0; c < 2; ++c) {
    SCOPED_TRACE(c);
    // The first picture out of step: the first after the seek.
    const auto& pics = shown[c];
    ASSERT_FALSE(pics.empty());
    size_t jump = 0;
    if (pics[0].dts == 0)
      for (size_t i = 1; i < pics.size(); ++i)
        if (pics[i].dts != pics[i - 1].dts + 40) {
          jump = i;
          break;
        }
    if (c == chosen.id)
      EXPECT_EQ(pics[jump].dts, chosen.dts / 1000);
    else
      EXPECT_GE(pics[jump].dts, chosen.dts / 1000);
    for (size_t i = jump + 1; i < pics.size(); ++i) EXPECT_EQ(pics[i].dts, pics[i - 1].dts + 40);
    EXPECT_EQ(pics.back().dts, 5960);
  }
  EXPECT_EQ(p.State().stats.seeks.load(), 1);
  EXPECT_EQ(p.SpeedResets(), 1);
  EXPECT_EQ(p.State().speedCode.load(), 16);  // the seek set the speed back to x1
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Map().Counts().seek == 1 && p.Chart().Counts().clear == 1; },
                                        2000));
  // The play time went on from the target's second.
  std::vector<int64_t> seconds;
  for (const PlayTimePost& post : p.Posts())
    if (post.value >= 0) seconds.push_back(post.value);
  ASSERT_FALSE(seconds.empty());
  EXPECT_EQ(seconds.back(), 5);
  EXPECT_TRUE(std::find(seconds.begin(), seconds.end(), 4) != seconds.end());
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, ARecordingWithoutDurationDoesNotSeek) {
  const auto want = playtest::VideoTimesMs(playtest::ReadAll(NoDuration()), false);
  HeadlessPlayer p(Opts());
  ASSERT_TRUE(PlayUntilSecond(p, NoDuration(), 1));
  p.Seek(2);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(WaitPictures(p, want));
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(p.Channel(c).pictures, static_cast<int64_t>(want.at(c).size()));
    EXPECT_EQ(p.Channel(c).outOfOrder, 0);
  }
  EXPECT_EQ(p.State().seekPending.load(), 0);  // taken and dropped
  EXPECT_EQ(p.State().stats.seeks.load(), 0);
  EXPECT_EQ(p.SpeedResets(), 0);
  EXPECT_EQ(p.Map().Counts().seek, 0);
  EXPECT_EQ(p.Chart().Counts().clear, 0);
  for (const PlayTimePost& post : p.Posts()) EXPECT_EQ(post.lengthSeconds, 0);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, TheNextRecordingKeepsNothingOfThePreviousOne) {
  // A recording with a duration, then one without: the second has no
  // length and cannot be sought, as if it had been opened first.
  HeadlessPlayer p(Opts());
  ASSERT_TRUE(PlayUntilSecond(p, A(), 1));
  const size_t before = p.PostCount();
  p.OpenKrv(NoDuration());
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 1; }, kWaitMs, before));
  p.Seek(0);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs, before));
  EXPECT_EQ(p.State().stats.seeks.load(), 0);
  auto posts = p.Posts();
  for (size_t i = before; i < posts.size(); ++i) {
    if (posts[i].value == media::DTS_SWITCH) continue;  // pushed with the old recording's length
    EXPECT_EQ(posts[i].lengthSeconds, 0) << posts[i].value;
  }
  EXPECT_EQ(p.State().stats.opened.load(), 2);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, Speed256PassesKeyFramesOnlyAndNoSound) {
  const auto packets = playtest::ReadAll(Gop30());
  const auto keys = playtest::VideoTimesMs(packets, true);
  const auto all = playtest::VideoTimesMs(packets, false);
  HeadlessPlayer p(Opts());
  p.SetSpeed(256);
  p.OpenKrv(Gop30());
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  int64_t keyCount = 0, frameCount = 0;
  for (const auto& [c, times] : keys) keyCount += times.size(), frameCount += all.at(c).size();
  EXPECT_EQ(p.State().stats.videoPassed.load(), keyCount);
  EXPECT_EQ(p.State().stats.videoSkipped.load(), frameCount - keyCount);
  EXPECT_EQ(p.State().stats.audioPassed.load(), 0);
  // What was shown is among the key frames and in order. (How many: at x16
  // the clock may reach the end of so short a recording before a channel's
  // first picture is decoded; that is the display's business.)
  HeadlessPlayer::WaitUntil([&] { return p.Channel(0).pictures >= 5; }, 2000);
  for (const ShownPicture& pic : p.Pictures()) {
    const auto& k = keys.at(pic.channel);
    EXPECT_TRUE(std::find(k.begin(), k.end(), pic.dts) != k.end()) << pic.channel << " " << pic.dts;
  }
  for (int c = 0; c < 2; ++c) EXPECT_EQ(p.Channel(c).outOfOrder, 0);
  for (const auto& t : p.Ticks()) EXPECT_EQ(t.playedMs, 0);
  EXPECT_EQ(p.Sound()->StoredBytes(), 0);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, SecondPlayPassesKeyFramesOnlyNoSoundAndNoGps) {
  const auto packets = playtest::ReadAll(A());
  const auto keys = playtest::VideoTimesMs(packets, true);
  const auto all = playtest::VideoTimesMs(packets, false);
  int64_t keyCount = 0, frameCount = 0;
  for (int c = 0; c < 4; ++c) keyCount += keys.at(c).size(), frameCount += all.at(c).size();
  HeadlessPlayer p(Opts());
  p.SelectKrv(A(), playback::Player::Select::kOpen);
  p.SecondPlay();
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  // What the reader passed: the key frames, every video time to the clock,
  // no sound.
  EXPECT_EQ(p.State().stats.videoPassed.load(), keyCount);
  EXPECT_EQ(p.State().stats.videoSkipped.load(), frameCount - keyCount);
  EXPECT_EQ(p.State().stats.clockTimes.load(), static_cast<int64_t>(all.at(0).size()));
  EXPECT_EQ(p.State().stats.audioPassed.load(), 0);
  // Whatever the display showed is among the key frames. (The clock runs
  // through a recording this short before the first picture is decoded, so
  // how many are shown is the display's business.)
  HeadlessPlayer::WaitUntil([&] { return p.Chart().Counts().gSensor == 30; }, 2000);
  for (const ShownPicture& pic : p.Pictures()) {
    const auto& k = keys.at(pic.channel);
    EXPECT_TRUE(std::find(k.begin(), k.end(), pic.dts) != k.end()) << pic.channel << " " << pic.dts;
  }
  // GPS held from the start: none reaches the map, and no "Seek" either
  // (no GPS record was shown before); the charts go on.
  EXPECT_EQ(p.Map().Counts().records, 0);
  EXPECT_EQ(p.Chart().Counts().gSensor, 30);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, SecondPlayInMidPlayStopsGpsWithOneSeek) {
  HeadlessPlayer p(Opts());
  ASSERT_TRUE(PlayUntilSecond(p, Gop30(), 1));  // GPS at every second of six: some are read after second play begins
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Map().Counts().gps >= 1; }, 2000));
  p.SecondPlay();
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.Map().Counts().seek == 1; }, 2000));
  auto seen = p.Map().Seen();
  ASSERT_FALSE(seen.empty());
  // GPS records, then exactly one "Seek" and nothing after it.
  EXPECT_EQ(seen.back().kind, SeenRecord::kSeek);
  for (size_t i = 0; i + 1 < seen.size(); ++i) EXPECT_EQ(seen[i].kind, SeenRecord::kGps) << i;
  EXPECT_LT(p.Map().Counts().gps, 6);
  EXPECT_EQ(p.State().speedCode.load(), 16);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, VehicleRecordsArriveInOrderWithTheirTimes) {
  // What the recording carries, in file order.
  std::vector<std::pair<SeenRecord::Kind, int64_t>> wantMap, wantChart;
  double firstX = 0;
  bool haveFirstX = false;
  for (const Packet& pk : playtest::ReadAll(A())) {
    if (pk.kind != krv::KIND_DATA) continue;
    char name[vehicle::kAmfStringLimit];
    vehicle::SensorState s;
    ASSERT_TRUE(vehicle::WalkRecord(pk.data.data(), static_cast<int>(pk.data.size()), &s, name));
    const std::string n = name;
    if (n == "GPS") wantMap.push_back({SeenRecord::kGps, pk.dts / 1000});
    if (n == "GSensor") {
      wantChart.push_back({SeenRecord::kGSensor, kStart * 1000 + pk.dts / 1000});
      if (!haveFirstX) firstX = s.x, haveFirstX = true;
    }
    if (n == "otherSensors") wantChart.push_back({SeenRecord::kOtherSensors, kStart * 1000 + pk.dts / 1000});
  }
  ASSERT_EQ(wantMap.size(), 3u);
  ASSERT_EQ(wantChart.size(), 33u);

  HeadlessPlayer p(Opts());
  p.SetSpeed(32);
  p.OpenKrv(A());
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  ASSERT_TRUE(HeadlessPlayer::WaitUntil(
      [&] { return p.Map().Counts().records == 3 && p.Chart().Counts().records == 33; }, 2000));
  std::vector<std::pair<SeenRecord::Kind, int64_t>> gotMap, gotChart;
  for (const SeenRecord& r : p.Map().Seen()) gotMap.push_back({r.kind, r.timeMs});
  for (const SeenRecord& r : p.Chart().Seen()) gotChart.push_back({r.kind, r.timeMs});
  EXPECT_EQ(gotMap, wantMap);
  EXPECT_EQ(gotChart, wantChart);
  EXPECT_EQ(p.Map().Counts().drawn, 3);  // every synthesised fix is usable
  EXPECT_EQ(p.Chart().Seen().front().values[0], firstX);
  EXPECT_EQ(p.Chart().Counts().resets, 0);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, ASnapshotOfChannelZeroIsOne704x576Jpeg420InFolderOne) {
  const std::string path = dir_->File("20231114224000_1000.krv");
  playtest::MakeKrv(playtest::Small(2, 1, 704, 576), path);
  HeadlessPlayer::Options o = Opts();
  o.snapshotFolder = dir_->File("snapshots") + "/";
  HeadlessPlayer p(o);
  p.OpenKrv(path);
  ASSERT_TRUE(p.WaitForPost([](const PlayTimePost& t) { return t.value == 0; }, kWaitMs));
  p.Snapshot(0);
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return !p.SnapshotsWritten().empty(); }, 10000));
  ASSERT_TRUE(p.Close());
  auto written = p.SnapshotsWritten();
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].rfind(o.snapshotFolder + "1/", 0), 0u) << written[0];
  EXPECT_EQ(written[0].substr(written[0].size() - 4), ".jpg");

  FILE* f = std::fopen(written[0].c_str(), "rb");
  ASSERT_NE(f, nullptr);
  jpeg_decompress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, f);
  ASSERT_EQ(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
  EXPECT_EQ(info.image_width, 704u);
  EXPECT_EQ(info.image_height, 576u);
  ASSERT_EQ(info.num_components, 3);
  EXPECT_EQ(info.comp_info[0].h_samp_factor, 2);
  EXPECT_EQ(info.comp_info[0].v_samp_factor, 2);
  EXPECT_EQ(info.comp_info[1].h_samp_factor, 1);
  EXPECT_EQ(info.comp_info[1].v_samp_factor, 1);
  EXPECT_EQ(info.comp_info[2].h_samp_factor, 1);
  EXPECT_EQ(info.comp_info[2].v_samp_factor, 1);
  jpeg_destroy_decompress(&info);
  std::fclose(f);
}

TEST_F(KrvPlayback, AFileThatBeginsWithAKeyFrameAndNoMetadataIsReadFromItsFirstTag) {
  // The opening's key-frame seek to 0 stops on the first tag of such a file;
  // the header must still be read from the file's start.
  using krvtest::Bytes;
  Bytes file = krvtest::FileHeader(0x91);
  const int kFrames = 30;
  for (int i = 0; i < kFrames; ++i) {
    Bytes t = krvtest::MediaTag(9, 0, static_cast<uint32_t>(i * 40000), i % 10 == 0 ? 0x10 : 0x20,
                                krvtest::Payload(100 + i, static_cast<uint8_t>(i)));
    file.insert(file.end(), t.begin(), t.end());
  }
  const std::string path = dir_->File("20231114225000_1000.krv");
  krvtest::WriteFile(path, file);
  HeadlessPlayer p(Opts());
  p.SetSpeed(256);
  p.OpenKrv(path);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  // At x16 the key frames (every tenth) go in, and every time to the clock.
  EXPECT_EQ(p.State().stats.videoPassed.load(), kFrames / 10);
  EXPECT_EQ(p.State().stats.videoSkipped.load(), kFrames - kFrames / 10);
  EXPECT_EQ(p.State().stats.clockTimes.load(), kFrames);
  EXPECT_TRUE(p.Close());
}

// An export branch that notes what it is handed and ends the export at its
// end position, as the export does.
class NotingExport : public playback::ReaderExport {
 public:
  struct Noted {
    int channel;
    int kind;
    int64_t timeMs;
    bool key;
  };
  void ExportPacket(playback::PlayState& state, const playback::ExportPacket& p) override {
    std::lock_guard<std::mutex> lock(mutex_);
    noted_.push_back({p.channel, p.streamKind, p.timeMs, p.key});
    if (p.streamKind == krv::KIND_VIDEO && p.timeMs >= state.exportEnd.load() * 1000LL) state.exportPending.store(0);
  }
  void ExportSourceEnded(playback::PlayState&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++sourceEnded_;
  }
  void ExportSeekDone(playback::PlayState&, int) override {}
  std::vector<Noted> Packets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return noted_;
  }
  int SourceEnded() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sourceEnded_;
  }

 private:
  std::mutex mutex_;
  std::vector<Noted> noted_;
  int sourceEnded_ = 0;
};

// The window's export request (message 0x485): seek, end, pending, play.
void RequestExport(HeadlessPlayer& p, int startSecond, int endSecond) {
  p.State().seekTarget.store(startSecond);
  p.State().exportEnd.store(endSecond);
  p.State().exportPending.store(1);
  p.State().seekPending.store(1);
  p.Clock()->SetMode(media::ACPlayClock::kModePlay);
}

TEST_F(KrvPlayback, AnExportTakesThePacketsFromTheKeyFrameToItsEndInsteadOfPlayingThem) {
  NotingExport branch;
  HeadlessPlayer p(Opts());
  p.State().exportBranch = &branch;
  ASSERT_TRUE(PlayUntilSecond(p, Gop30(), 0));
  RequestExport(p, 2, 4);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  HeadlessPlayer::WaitUntil([&] { return p.Channel(0).lastDts == 5960 && p.Channel(1).lastDts == 5960; }, 5000);
  EXPECT_EQ(p.State().exportPending.load(), 0);
  EXPECT_EQ(branch.SourceEnded(), 0);
  auto noted = branch.Packets();
  ASSERT_FALSE(noted.empty());
  // From the key frame the seek chose (second 2: the one at 2.4 s) to the
  // first video packet at or after second 4, sound and data included.
  auto firstVideo = std::find_if(noted.begin(), noted.end(), [](const auto& n) { return n.kind == krv::KIND_VIDEO; });
  ASSERT_NE(firstVideo, noted.end());
  EXPECT_EQ(firstVideo->timeMs, 2400);
  EXPECT_TRUE(firstVideo->key);
  EXPECT_EQ(noted.back().kind, krv::KIND_VIDEO);
  EXPECT_EQ(noted.back().timeMs, 4000);
  bool sound = false, data = false;
  for (const auto& n : noted) {
    EXPECT_GE(n.timeMs, 2400);
    EXPECT_LE(n.timeMs, 4000);
    sound |= n.kind == krv::KIND_AUDIO;
    data |= n.kind == krv::KIND_DATA;
  }
  EXPECT_TRUE(sound);
  EXPECT_TRUE(data);
  EXPECT_EQ(p.State().stats.exported.load(), static_cast<int64_t>(noted.size()));
  // Nothing exported was shown; playback went on from the end position (the
  // other channel's frame at 4 s, read after the export ended, plays).
  for (const ShownPicture& pic : p.Pictures()) EXPECT_FALSE(pic.dts >= 2400 && pic.dts < 4000) << pic.dts;
  EXPECT_EQ(p.Channel(0).lastDts, 5960);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, AnExportPastTheEndOfTheRecordingIsToldTheSourceEnded) {
  NotingExport branch;
  HeadlessPlayer p(Opts());
  p.State().exportBranch = &branch;
  ASSERT_TRUE(PlayUntilSecond(p, Gop30(), 0));
  RequestExport(p, 3, 100);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  EXPECT_EQ(branch.SourceEnded(), 1);
  EXPECT_EQ(branch.Packets().back().timeMs / 1000, 5);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, WithoutAnExportBranchTheRequestOnlySeeks) {
  HeadlessPlayer p(Opts());
  p.State().exportBranch = nullptr;
  ASSERT_TRUE(PlayUntilSecond(p, Gop30(), 0));
  RequestExport(p, 4, 5);
  ASSERT_TRUE(p.WaitForEnd(kWaitMs));
  EXPECT_EQ(p.State().exportPending.load(), 0);
  EXPECT_EQ(p.State().stats.exported.load(), 0);
  EXPECT_EQ(p.State().stats.seeks.load(), 1);
  HeadlessPlayer::WaitUntil([&] { return p.Channel(0).lastDts == 5960; }, 5000);
  EXPECT_EQ(p.Channel(0).lastDts, 5960);
  EXPECT_TRUE(p.Close());
}

TEST_F(KrvPlayback, StopParksTheReaderAndPlayReopensTheRecordingFromItsStart) {
  HeadlessPlayer p(Opts());
  ASSERT_TRUE(PlayUntilSecond(p, A(), 1));
  p.Stop();
  ASSERT_TRUE(HeadlessPlayer::WaitUntil([&] { return p.State().stopRequested.load() == 0; }, 3000));
  const int64_t passed = p.State().stats.videoPassed.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(p.State().stats.videoPassed.load(), passed);  // parked
  const size_t before = p.Pictures().size();
  const size_t posts = p.PostCount();
  p.SetSpeed(32);
  p.Play();
  ASSERT_TRUE(p.WaitForEnd(kWaitMs, posts));
  HeadlessPlayer::WaitUntil([&] { return p.Pictures().back().dts == 2960; }, 5000);
  auto pictures = p.Pictures();
  ASSERT_GT(pictures.size(), before);
  // The first picture after the new Play is the recording's first.
  bool sawStart = false;
  for (size_t i = before; i < pictures.size() && !sawStart; ++i) sawStart = pictures[i].dts == 0;
  EXPECT_TRUE(sawStart);
  EXPECT_EQ(p.State().stats.opened.load(), 2);
  EXPECT_TRUE(p.Close());
}

}  // namespace
