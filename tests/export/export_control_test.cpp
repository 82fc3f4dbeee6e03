// The export's life in the player: refused requests, a recording that ends
// first, a reader parked at the end, cancel and close during an export.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "export_test_util.h"
#include "media/ac_play_clock.h"

namespace {

using namespace exporttest;
using Outcome = avexport::ExportResult::Outcome;

std::string MakeSource(const TempDir& dir, const std::string& name, int seconds, int channels = 1) {
  krvsynth::SynthOptions o = playtest::Small(seconds, channels);
  const std::string path = dir.File(name);
  playtest::MakeKrv(o, path);
  return path;
}

TEST(ExportControl, RequestsThatWouldHarmFilesAreRefusedBeforeTheStart) {
  TempDir dir;
  const std::string src = MakeSource(dir, "20131227070943_0100_01.krv", 4);
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(src, playback::Player::Select::kOpen);
  auto base = [&] {
    avexport::ExportRequest r;
    r.startSecond = 1;
    r.endSecond = 2;
    return r;
  };
  avexport::ExportRequest r = base();
  r.outputs[0] = src;  // the recording being read
  EXPECT_NE(p.Export(r), "");
  r.outputs[0] = dir.Path().string() + "/./20131227070943_0100_01.krv";
  EXPECT_NE(p.Export(r), "");
  r = base();
  r.outputs[0] = out.File("a.avi");
  r.outputs[2] = out.Path().string() + "/../" + out.Path().filename().string() + "/a.avi";
  EXPECT_NE(p.Export(r), "");  // one file for two channels
  r = base();
  r.outputs[1] = out.File(std::string(1100, 'x') + ".avi");
  EXPECT_NE(p.Export(r), "");  // longer than 1023 bytes
  r = base();
  EXPECT_EQ(p.Export(r), "Please select the channel(s)");
  r.outputs[0] = out.File("b.avi");
  r.startSecond = 3;
  EXPECT_NE(p.Export(r), "");  // end before the start
  EXPECT_FALSE(p.Exporting());
  EXPECT_EQ(p.State().exportPending.load(), 0);
  EXPECT_TRUE(Listing(out.Path()).empty());
  EXPECT_TRUE(fs::exists(src));
}

TEST(ExportControl, RecordingEndingFirstFinishesTheFilesAndPlaybackGoesOn) {
  TempDir dir;
  const std::string first = MakeSource(dir, "20131227070943_0100_01.krv", 6);
  const std::string second = MakeSource(dir, "20131227071043_0100_01.krv", 3);
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(first, playback::Player::Select::kOpen);
  avexport::ExportRequest request = Stretch(3, 100, {{0, out.File("short.avi")}});
  const size_t postsBefore = p.PostCount();
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, Outcome::kStoppedEarly) << r.reason;
  ASSERT_EQ(r.files, std::vector<std::string>{request.outputs[0]});
  EXPECT_EQ(p.State().exportPending.load(), 0);
  EXPECT_FALSE(p.Exporting());
  // A whole AVI up to the last picture of the recording.
  EXPECT_EQ(r.lastVideoMs[0], 5960);
  auto v = Probe(request.outputs[0], "v");
  EXPECT_EQ(v["nb_read_packets"], std::to_string(r.videoPackets[0]));
  EXPECT_EQ(AviMd5(request.outputs[0]).size(), static_cast<size_t>(r.videoPackets[0]));
  EXPECT_EQ(Listing(out.Path()), std::vector<std::string>{"short.avi"});
  // Playback reaches the end of the recording as usual ...
  EXPECT_TRUE(p.WaitForEnd(10000, postsBefore));
  // ... and the next recording plays, without going into the file.
  const auto size = fs::file_size(request.outputs[0]);
  const int64_t exported = p.State().stats.exported.load();
  const int64_t opened = p.RecordingsOpened();
  p.SetSpeed(media::ACPlayClock::kNormalSpeed * 2);
  p.OpenKrv(second);
  EXPECT_TRUE(krvplayer::PlayLog::WaitUntil([&] { return p.RecordingsOpened() > opened; }, 10000));
  EXPECT_TRUE(p.WaitForEnd(15000, p.PostCount()));
  EXPECT_EQ(p.State().stats.exported.load(), exported);
  EXPECT_EQ(fs::file_size(request.outputs[0]), size);
  EXPECT_EQ(Listing(out.Path()), std::vector<std::string>{"short.avi"});
}

TEST(ExportControl, RequestWakesAReaderParkedAtTheEnd) {
  TempDir dir;
  const std::string src = MakeSource(dir, "20131227070943_0100_01.krv", 4);
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SetSpeed(media::ACPlayClock::kNormalSpeed * 2);
  p.OpenKrv(src);
  ASSERT_TRUE(p.WaitForEnd(15000));
  ASSERT_EQ(p.State().ended.load(), 1);
  avexport::ExportRequest request = Stretch(1, 3, {{0, out.File("again.avi")}});
  const avexport::ExportResult r = RunExport(p, request, 15000);
  ASSERT_EQ(r.outcome, Outcome::kFinished) << r.reason;
  EXPECT_EQ(r.firstVideoMs[0], 1000);  // the key frame of second 1
  EXPECT_EQ(r.lastVideoMs[0], 3000);
  EXPECT_EQ(r.videoPackets[0], 51);
}

// A player whose export progress is held up (as by a slow disk) once the
// first output is open, until the export is no longer running.
struct HeldPlayer {
  explicit HeldPlayer() {
    playback::PlayerOptions o;
    o.sound = playback::PlayerOptions::Sound::kNull;
    o.callbacks.exportProgress = [this](int percent) {
      if (percent < 0 || held.exchange(true)) return;
      {
        std::lock_guard<std::mutex> lock(mutex);
        reached = true;
      }
      cv.notify_all();
      // Hold the reader until the export has gone (at most 5 s).
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      std::unique_lock<std::mutex> lock(mutex);
      while (player->Exporting() && std::chrono::steady_clock::now() < until)
        cv.wait_for(lock, std::chrono::milliseconds(5));
    };
    player = std::make_unique<playback::Player>(o);
  }
  bool WaitReached() {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(20), [&] { return reached; });
  }
  std::mutex mutex;
  std::condition_variable cv;
  bool reached = false;
  std::atomic<bool> held{false};
  std::unique_ptr<playback::Player> player;
};

void CancelOrClose(bool close) {
  TempDir dir;
  const std::string src = MakeSource(dir, "20131227070943_0100_01.krv", 8, 2);
  TempDir out;
  HeldPlayer h;
  h.player->SelectKrv(src, playback::Player::Select::kOpen);
  avexport::ExportRequest request = Stretch(1, 7, {{0, out.File("a.avi")}, {1, out.File("b.avi")}});
  request.sha256 = true;
  request.gpx = true;
  ASSERT_EQ(h.player->Export(request), "");
  ASSERT_TRUE(h.WaitReached());
  EXPECT_FALSE(Listing(out.Path()).empty());  // a .part is being written
  const auto t0 = std::chrono::steady_clock::now();
  if (close)
    EXPECT_TRUE(h.player->Close());
  else
    EXPECT_TRUE(h.player->CancelExport());
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 1000);
  EXPECT_FALSE(h.player->Exporting());
  EXPECT_EQ(h.player->LastExportResult().outcome, Outcome::kCancelled);
  EXPECT_EQ(h.player->State().exportPending.load(), 0);
  // No AVI, .part, manifest or track of it remains.
  EXPECT_TRUE(Listing(out.Path()).empty());
  h.player->Close();
  EXPECT_TRUE(Listing(out.Path()).empty());
}

TEST(ExportControl, CancelEndsTheExportAndRemovesItsFiles) { CancelOrClose(false); }
TEST(ExportControl, ClosingThePlayerEndsTheExportAndRemovesItsFiles) { CancelOrClose(true); }

TEST(ExportControl, SeekAndStopCancelARunningExport) {
  TempDir dir;
  const std::string src = MakeSource(dir, "20131227070943_0100_01.krv", 8);
  for (int command = 0; command < 2; ++command) {
    SCOPED_TRACE(command == 0 ? "seek" : "stop");
    TempDir out;
    HeldPlayer h;
    h.player->SelectKrv(src, playback::Player::Select::kOpen);
    avexport::ExportRequest request = Stretch(1, 7, {{0, out.File("a.avi")}});
    ASSERT_EQ(h.player->Export(request), "");
    ASSERT_TRUE(h.WaitReached());
    if (command == 0)
      h.player->Seek(2);
    else
      h.player->Stop();
    EXPECT_FALSE(h.player->Exporting());
    EXPECT_EQ(h.player->LastExportResult().outcome, Outcome::kCancelled);
    EXPECT_TRUE(Listing(out.Path()).empty());
    h.player->Close();
  }
}

TEST(ExportControl, AnOutputThatCannotBeCreatedEndsTheExportWithItsPathAndReason) {
  TempDir dir;
  const std::string src = MakeSource(dir, "20131227070943_0100_01.krv", 5, 2);
  TempDir out;
  krvplayer::HeadlessPlayer p(NullSound());
  p.SelectKrv(src, playback::Player::Select::kOpen);
  avexport::ExportRequest request =
      Stretch(1, 3, {{0, out.File("fine.avi")}, {1, out.File("no-such-folder/b.avi")}});
  const avexport::ExportResult r = RunExport(p, request);
  ASSERT_EQ(r.outcome, Outcome::kFailed);
  EXPECT_EQ(r.failedPath, request.outputs[1]);
  EXPECT_NE(r.reason.find("No such file"), std::string::npos) << r.reason;
  EXPECT_TRUE(r.files.empty());
  EXPECT_EQ(p.State().exportPending.load(), 0);
  // The other channel's file is gone too.
  EXPECT_TRUE(Listing(out.Path()).empty());
}

}  // namespace
