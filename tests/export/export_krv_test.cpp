// Exports of KRV recordings through the player: the outputs' streams as
// ffprobe reads them, their pictures against the source's, the progress,
// the sidecars, and sources the recorder writes oddly.
#include <gtest/gtest.h>

#include <cstring>

#include "export_test_util.h"
#include "vehicle/amf_record.h"
#include "vehicle/vehicle_state.h"

namespace {

using namespace exporttest;

constexpr char kName[] = "20131227070943_0100_02.krv";

class ExportKrv : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    krvsynth::SynthOptions o = playtest::Small(25, 4);
    o.gop = 40;  // key frames at 0, 1.6, 3.2 ... 9.6, 11.2 ... s
    o.startTime = 1388128183;  // 2013-12-27 07:09:43
    source_ = dir_->File(kName);
    playtest::MakeKrv(o, source_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
  static std::string source_;
};
TempDir* ExportKrv::dir_ = nullptr;
std::string ExportKrv::source_;

avexport::ExportRequest AllChannels(const TempDir& out, int from, int to) {
  avexport::ExportRequest r;
  r.startSecond = from;
  r.endSecond = to;
  for (int c = 0; c < 4; ++c) r.outputs[c] = out.File("ch" + std::to_string(c + 1) + ".avi");
  return r;
}

// Each channel's output holds the source's pictures from its first key
// frame at or after the seek point (in file order: the key frame the seek
// found) to its first picture at or after the end.
void ExpectPicturesOfSource(const std::string& source, const avexport::ExportRequest& request,
                            const avexport::ExportResult& result) {
  const auto all = playtest::ReadAll(source);
  // The seek point: the key frame of the channel that starts first.
  int seekChannel = -1;
  for (int c = 0; c < 4; ++c)
    if (result.firstVideoMs[c] >= 0 && (seekChannel < 0 || result.firstVideoMs[c] < result.firstVideoMs[seekChannel]))
      seekChannel = c;
  ASSERT_GE(seekChannel, 0);
  const int64_t seekMs = result.firstVideoMs[seekChannel];
  // The seek finds the last key frame whose second is not after the start
  // second; nothing before it is written, so the first picture is less
  // than a GOP (1.6 s) before the start.
  ASSERT_LE(seekMs / 1000, request.startSecond);
  EXPECT_GT(seekMs, request.startSecond * 1000 - 1600);
  size_t seekAt = all.size();
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].id == seekChannel && all[i].kind == krv::KIND_VIDEO && all[i].key && all[i].dts / 1000 == seekMs) {
      seekAt = i;
      break;
    }
  ASSERT_LT(seekAt, all.size());
  for (int c = 0; c < 4; ++c) {
    if (request.outputs[c].empty()) continue;
    SCOPED_TRACE("channel " + std::to_string(c));
    int64_t first = -1, last = -1;
    for (size_t i = seekAt; i < all.size(); ++i) {
      const auto& p = all[i];
      if (p.id != c || p.kind != krv::KIND_VIDEO) continue;
      if (first < 0 && p.key) first = p.dts / 1000;
      if (first >= 0 && p.dts / 1000 >= request.endSecond * 1000) {
        last = p.dts / 1000;
        break;
      }
    }
    EXPECT_EQ(result.firstVideoMs[c], first);
    EXPECT_EQ(result.lastVideoMs[c], last);
    const auto want = Md5s(SourceMd5(source, c), first, last);
    const auto got = Md5s(AviMd5(request.outputs[c]), INT64_MIN, INT64_MAX);
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(got, want);
  }
}

TEST_F(ExportKrv, OutputsCarryTheSourcesPicturesAndTheStreamsOfTheTable) {
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(source_, playback::Player::Select::kOpen);
  avexport::ExportRequest request = AllChannels(out, 10, 20);
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  EXPECT_EQ(r.files.size(), 4u);
  EXPECT_EQ(p.State().exportPending.load(), 0);
  ExpectPicturesOfSource(source_, request, r);
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE("channel " + std::to_string(c));
    auto v = Probe(request.outputs[c], "v");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["codec_tag_string"], "h264");
    EXPECT_EQ(v["width"], "176");
    EXPECT_EQ(v["height"], "144");
    EXPECT_EQ(v["r_frame_rate"], "25/1");
    EXPECT_EQ(v["nb_read_packets"], std::to_string(r.videoPackets[c]));
    ExpectAdpcmStream(request.outputs[c]);
    EXPECT_GT(r.audioPackets[c], 0);
    EXPECT_EQ(ProbePackets(request.outputs[c], "a").size(), static_cast<size_t>(r.audioPackets[c]));
    // The two streams last as long, within one sound block (4060 / 8000 s).
    EXPECT_NEAR(ProbeEnd(request.outputs[c], "v"), ProbeEnd(request.outputs[c], "a"), 4060.0 / 8000.0);
  }
  // No .part left, nothing but the four files.
  EXPECT_EQ(Listing(out.Path()), (std::vector<std::string>{"ch1.avi", "ch2.avi", "ch3.avi", "ch4.avi"}));
}

TEST_F(ExportKrv, ProgressRunsFromMinusTenInSecondNineToHundredAtTheEnd) {
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(source_, playback::Player::Select::kOpen);
  avexport::ExportRequest request = AllChannels(out, 10, 20);
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  // The seek lands on the key frame at 9.6 s: second 9 is -10 (the bar at 0).
  const std::vector<int> want{-10, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
  EXPECT_EQ(r.progress, want);
  EXPECT_EQ(p.ExportProgress(), want);
}

TEST_F(ExportKrv, StartAndEndInOneSecondEndsAtHundred) {
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(source_, playback::Player::Select::kOpen);
  avexport::ExportRequest request;
  request.startSecond = 12;
  request.endSecond = 12;
  // The channel whose key frame at 12.8 s (second 12) the seek finds: its
  // first picture is the end packet, and the progress 100.
  request.outputs[3] = out.File("same.avi");
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  EXPECT_EQ(r.progress, std::vector<int>{100});
  EXPECT_EQ(r.firstVideoMs[3], 12800);
  EXPECT_EQ(r.lastVideoMs[3], 12800);
  EXPECT_EQ(r.videoPackets[3], 1);
}

// The usable GPS fixes of a stretch, read from the source as the map reads them.
int UsableFixes(const std::string& source, int fromMs, int toMs) {
  krvtest::Reading reading(source);
  vehicle::GpsState gps;
  krvtest::Pkt pkt;
  int n = 0;
  while (reading.Next(&pkt)) {
    if (pkt.id != 8) continue;
    char name[vehicle::kAmfStringLimit] = {};
    if (!vehicle::WalkRecord(pkt.data.data(), static_cast<int>(pkt.data.size()), &gps, name)) continue;
    const int64_t ms = pkt.dts / 1000;
    if (std::strcmp(name, "GPS") == 0 && gps.UsableFix() && ms >= fromMs && ms <= toMs) ++n;
  }
  return n;
}

TEST_F(ExportKrv, ManifestChecksAndTrackHoldsTheStretchsUsableFixes) {
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(source_, playback::Player::Select::kOpen);
  avexport::ExportRequest request = Stretch(
      10, 20, {{0, out.File("20131227070953_0100_01.avi")}, {2, out.File("20131227070953_0100_03.avi")}});
  request.sha256 = true;
  request.gpx = true;
  request.sidecarBase = out.File("20131227070953_0100_01");
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  EXPECT_EQ(Listing(out.Path()),
            (std::vector<std::string>{"20131227070953_0100_01.avi", "20131227070953_0100_01.gpx",
                                      "20131227070953_0100_01.sha256", "20131227070953_0100_03.avi"}));
  krvtest::RunResult check =
      krvtest::RunShell("cd " + krvtest::Quote(out.Path().string()) + " && sha256sum -c 20131227070953_0100_01.sha256");
  EXPECT_EQ(check.code, 0) << check.out << check.err;
  EXPECT_EQ(check.Lines().size(), 3u);  // both outputs and the track

  const std::string gpx = out.File("20131227070953_0100_01.gpx");
  krvtest::RunResult lint = krvtest::RunShell("xmllint --noout " + krvtest::Quote(gpx));
  EXPECT_EQ(lint.code, 0) << lint.err;
  const std::string text = krvtest::Slurp(gpx);
  size_t points = 0;
  for (size_t at = text.find("<trkpt "); at != std::string::npos; at = text.find("<trkpt ", at + 1)) ++points;
  const int want = UsableFixes(source_, 10000, 20000);
  EXPECT_GT(want, 5);
  EXPECT_EQ(static_cast<int>(points), want);
  EXPECT_EQ(r.gpsFixes, want);
  // Times are the recording's start plus the packet's time.
  EXPECT_NE(text.find("<time>2013-12-27T07:09:53"), std::string::npos);
  EXPECT_NE(text.find("version=\"1.1\""), std::string::npos);
}

TEST(ExportKrvSources, StaggeredKeyFramesOpenEachChannelOnItsOwnKeyFrame) {
  TempDir dir;
  krvsynth::SynthOptions o = playtest::Small(16, 4);
  o.gop = 40;
  const std::string synth = dir.File("synth.krv");
  playtest::MakeKrv(o, synth);
  const std::string staggered = dir.File("20131227070943_0100_02.krv");
  Rewrite how;
  how.shiftMs = 400;  // channel c's key frames 0.4 x c s later
  RewriteKrv(synth, staggered, how);
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(staggered, playback::Player::Select::kOpen);
  avexport::ExportRequest request = AllChannels(out, 5, 9);
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  ExpectPicturesOfSource(staggered, request, r);
  // Every channel ended on its own end packet, not on the first channel's.
  for (int c = 1; c < 4; ++c) EXPECT_GT(r.videoPackets[c], 0);
}

TEST(ExportKrvSources, UnknownRateIsTakenFromThePacketTimes) {
  TempDir dir;
  krvsynth::SynthOptions o = playtest::Small(8, 1);
  o.fps = 10;
  o.gop = 10;
  const std::string synth = dir.File("synth.krv");
  playtest::MakeKrv(o, synth);
  for (bool fraction00 : {false, true}) {
    SCOPED_TRACE(fraction00 ? "rate 0/0" : "rate 0");
    const std::string src = dir.File(fraction00 ? "20131227070943_0100_01.krv" : "20131227070944_0100_01.krv");
    Rewrite how;
    how.fps = 0;
    how.fpsFraction00 = fraction00;
    RewriteKrv(synth, src, how);
    TempDir out;
    krvplayer::HeadlessPlayer p(NullSound());
    p.SelectKrv(src, playback::Player::Select::kOpen);
    avexport::ExportRequest request = Stretch(2, 6, {{0, out.File("rate.avi")}});
    const avexport::ExportResult r = RunExport(p, request);
    ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
    auto v = Probe(request.outputs[0], "v");
    EXPECT_EQ(v["r_frame_rate"], "10/1");
    EXPECT_EQ(v["codec_name"], "h264");
  }
}

TEST(ExportKrvSources, HisiliconVoiceIsNotWrittenIntoTheAdpcmStream) {
  TempDir dir;
  krvsynth::SynthOptions o = playtest::Small(6, 1);
  o.audio = krvsynth::AudioKind::kHisi;
  const std::string src = dir.File("20131227070943_0100_01.krv");
  playtest::MakeKrv(o, src);
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(src, playback::Player::Select::kOpen);
  avexport::ExportRequest request = Stretch(1, 4, {{0, out.File("hisi.avi")}});
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  EXPECT_EQ(r.audioPackets[0], 0);
  EXPECT_GT(r.videoPackets[0], 0);
  ExpectAdpcmStream(request.outputs[0]);
  EXPECT_TRUE(ProbePackets(request.outputs[0], "a").empty());
}

}  // namespace
