// Exports of AVI sources (one file per channel of a period) through the
// player's AVI reader.
#include <gtest/gtest.h>

#include "export_test_util.h"

namespace {

using namespace exporttest;

TEST(ExportAvi, EachChannelFileGivesItsOwnOutputWithTheSourcesPictures) {
  TempDir dir;
  krvsynth::SynthOptions o = playtest::Small(12, 4);
  o.gop = 40;
  std::vector<std::string> files;
  for (int c = 0; c < 4; ++c) {
    files.push_back(dir.File("20131227070943_0100_0" + std::to_string(c + 1) + ".avi"));
    playtest::MakeAvi(o, c, files.back());
  }
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  ASSERT_TRUE(p.SelectAvi(playback::Player::AviByChannel(files), 0, playback::Player::Select::kOpen));
  avexport::ExportRequest request;
  request.startSecond = 4;
  request.endSecond = 8;
  for (int c = 0; c < 4; ++c) request.outputs[c] = out.File("out" + std::to_string(c + 1) + ".avi");
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE("channel " + std::to_string(c));
    // The key frame at or before second 4 is at 3.2 s; the end packet at 8 s.
    EXPECT_EQ(r.firstVideoMs[c], 3200);
    EXPECT_EQ(r.lastVideoMs[c], 8000);
    const auto want = Md5s(AviMd5(files[c], 40), 3200, 8000);
    const auto got = Md5s(AviMd5(request.outputs[c]), INT64_MIN, INT64_MAX);
    EXPECT_EQ(want.size(), 121u);
    EXPECT_EQ(got, want);
    auto v = Probe(request.outputs[c], "v");
    EXPECT_EQ(v["codec_name"], "h264");
    EXPECT_EQ(v["width"], "176");
    EXPECT_EQ(v["r_frame_rate"], "25/1");
    ExpectAdpcmStream(request.outputs[c]);
    EXPECT_NEAR(ProbeEnd(request.outputs[c], "v"), ProbeEnd(request.outputs[c], "a"), 4060.0 / 8000.0);
  }
}

}  // namespace
