// Playback through the real window under X: double-click plays four moving
// pictures, pause and play, x4, step, second play, seeking with the slider,
// stop and play again, advancing to the next recording, and closing while
// playing. Pictures are watched in the panes (grabs) and through the video
// filter's show observer (timestamps).
#include <QDir>
#include <QLabel>
#include <set>

#include "controls/message_event.h"
#include "playback/reader_threads.h"
#include "media/ac_play_clock.h"
#include "media/ac_sound_player.h"
#include "vehicle/record_consumers.h"
#include "ui/video_layout.h"
#include "ui/video_surface.h"
#include "ui/wave_dlg.h"
#include "ui_test_util.h"

namespace corvane::uitest {
namespace {

using Dlg = CCorvaneDlg;
using Shown = ShowRecorder::Shown;

constexpr int kFrameMs = 40;  // 25 pictures a second
constexpr int kKeyEveryMs = 1000;

class UiPlaybackTest : public WindowFixture {
 protected:
  // Double-clicks row 0 (16 s, four channels) and waits for moving pictures.
  void PlayFirstRow() {
    DoubleClickRow(0);
    ASSERT_TRUE(WaitPictures(3, 4000)) << "no pictures in every pane";
  }
  // Pictures shown on channel 0 since t, not counting the blank one.
  std::vector<int64_t> Channel0Since(int64_t t) {
    std::vector<int64_t> out;
    for (const Shown& s : recorder_.Since(t))
      if (s.channel == 0) out.push_back(s.dts);
    return out;
  }
  int64_t MaxDts(const std::vector<int64_t>& v) {
    int64_t m = -1;
    for (int64_t d : v) m = std::max(m, d);
    return m;
  }
  void ClickSliderAt(controls::CBitmapSlider* slider, int pos) {
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->XForPos(pos), slider->height() / 2));
  }
};

TEST_F(UiPlaybackTest, DoubleClickPlaysFourMovingPicturesAndTheSliderFollows) {
  const int64_t t0 = ShowRecorder::NowMs();
  DoubleClickRow(0);
  EXPECT_EQ(dlg()->playState().currentItem.load(), 0);
  ASSERT_TRUE(WaitPictures(2, 2000)) << "panes without pictures 2 s after the double-click";
  EXPECT_LE(ShowRecorder::NowMs() - t0, 2000);
  Pump(100);
  const std::vector<QImage> a = GrabPanes();
  Pump(1000);
  const std::vector<QImage> b = GrabPanes();
  for (int c = 0; c < 4; ++c) {
    EXPECT_FALSE(a[c].isNull());
    EXPECT_NE(a[c], b[c]) << "pane " << c + 1 << " did not move";
    for (int d = c + 1; d < 4; ++d) EXPECT_NE(a[c], a[d]) << "panes " << c + 1 << " and " << d + 1 << " alike";
  }
  // The slider and the time text advance.
  CWaveDlg* wave = dlg()->waveDlg();
  ASSERT_TRUE(WaitUntil([&] { return wave->slider()->Pos() >= 1; }, 3000));
  EXPECT_EQ(wave->TotalSeconds(), 16);
  EXPECT_EQ(wave->slider()->Maximum(), 16);
  const QString text1 = wave->timeText()->text();
  EXPECT_TRUE(text1.endsWith("/00:00:16")) << text1.toStdString();
  ASSERT_TRUE(WaitUntil([&] { return wave->timeText()->text() != text1; }, 2500));

  RecordProperty("surfaces", CurrentSurfaceKind() == SurfaceKind::kOpenGL ? "OpenGL" : "software");
  // The screenshot of the playing window, kept under the build folder.
  const QString dir = QString::fromLocal8Bit(qgetenv("CORVANE_BUILD_DIR")) + "/screenshots";
  QDir().mkpath(dir);
  const QImage shot = dlg()->grab().toImage();
  EXPECT_TRUE(shot.save(dir + "/corvane_playing.png"));
}

TEST_F(UiPlaybackTest, PauseHoldsThePicturesAndPlayResumes) {
  PlayFirstRow();
  Pump(500);
  Click(Dlg::IDC_PAUSE);
  Pump(300);
  const int64_t held = ShowRecorder::NowMs();
  const std::vector<QImage> a = GrabPanes();
  Pump(700);
  const std::vector<QImage> b = GrabPanes();
  for (int c = 0; c < 4; ++c) EXPECT_EQ(a[c], b[c]) << "pane " << c + 1 << " moved while paused";
  const std::vector<int64_t> during = Channel0Since(held);
  ASSERT_FALSE(during.empty());  // the held picture is shown again
  EXPECT_EQ(*std::min_element(during.begin(), during.end()), MaxDts(during));

  Click(Dlg::IDC_PLAY);
  const int64_t resumed = ShowRecorder::NowMs();
  Pump(800);
  EXPECT_GT(MaxDts(Channel0Since(resumed)), MaxDts(during) + 5 * kFrameMs);
  const std::vector<QImage> c2 = GrabPanes();
  for (int c = 0; c < 4; ++c) EXPECT_NE(b[c], c2[c]) << "pane " << c + 1 << " did not resume";
  // Play on the open recording resumes it: the reader did not reopen it.
  EXPECT_EQ(dlg()->playState().krvOpenPath.Get(), DemoPath(0));
}

TEST_F(UiPlaybackTest, X4ShowsKeyFramesOnlyAndNoSound) {
  PlayFirstRow();
  const playback::ReaderStats& stats = dlg()->playState().stats;
  media::ACSoundPlayer* sound = dlg()->soundPlayer();
  if (sound->Running()) {
    EXPECT_TRUE(WaitUntil([&] { return sound->BufferedEndTime() > 0; }, 2000)) << "no sound at x1";
  }
  controls::CBitmapSlider* speed = dlg()->speedSlider();
  const int64_t t = ShowRecorder::NowMs();
  ClickSliderAt(speed, 6);
  ASSERT_TRUE(WaitUntil([&] { return dlg()->speedText() == "x4"; }, 1000));
  EXPECT_EQ(dlg()->playState().speedCode.load(), 64);
  EXPECT_EQ(dlg()->clock()->Speed(), 64);
  EXPECT_EQ(dlg()->speedLabel()->text(), "x4");

  // The reader leaves out every frame that is not a key frame, and the sound.
  const int64_t skipped = stats.videoSkipped.load();
  ASSERT_TRUE(WaitUntil([&] { return stats.videoSkipped.load() >= skipped + 4 * 24; }, 10000))
      << "the reader still passes every frame at x4";
  const int64_t audio = stats.audioPassed.load();

  // On screen: the pictures queued before the change (every frame, at most a
  // full ring and pool, the one being decoded and the one the reader holds)
  // drain first; from the first two key frames in a row on, every picture
  // is a key frame.
  auto keyRunStart = [](const std::vector<int64_t>& v) {
    for (size_t i = 1; i < v.size(); ++i)
      if (v[i - 1] % kKeyEveryMs == 0 && v[i] % kKeyEveryMs == 0 && v[i] != v[i - 1]) return i - 1;
    return v.size();
  };
  std::vector<int64_t> shown;
  size_t from = 0;
  ASSERT_TRUE(WaitUntil([&] {
    shown = Channel0Since(t);
    from = keyRunStart(shown);
    return from < shown.size() && std::set<int64_t>(shown.begin() + from, shown.end()).size() >= 3;
  }, 10000)) << "x4 did not move on to key frames only";
  std::set<int64_t> queuedBefore;
  for (size_t i = 0; i < from; ++i)
    if (shown[i] % kKeyEveryMs != 0) queuedBefore.insert(shown[i]);
  EXPECT_LE(queuedBefore.size(), static_cast<size_t>(media::ACMediaList::kSlots + media::ACMovieList::kSlots + 2))
      << "frames that are not key frames came after those queued before the change";
  for (size_t i = from; i < shown.size(); ++i)
    EXPECT_EQ(shown[i] % kKeyEveryMs, 0) << "a picture that is not a key frame: " << shown[i];
  // No sound goes to the player at x4 (what it held before plays out).
  EXPECT_EQ(stats.audioPassed.load(), audio) << "sound at x4";

  // Back to x1: the reader passes every frame again. It may be as far ahead
  // as the clock's list of times reaches (8 s of recording, at x1 pace) or at
  // the recording's end, where it goes on only with the next row.
  ClickSliderAt(speed, 4);
  ASSERT_TRUE(WaitUntil([&] { return dlg()->speedText() == "x1"; }, 1000));
  const int64_t skipped1 = stats.videoSkipped.load();
  const int64_t passed1 = stats.videoPassed.load();
  ASSERT_TRUE(WaitUntil([&] { return stats.videoPassed.load() >= passed1 + 4 * 25; }, 20000))
      << "the reader passes nothing at x1";
  // A packet the reader had judged before the change may still be left out.
  EXPECT_LE(stats.videoSkipped.load() - skipped1, 1) << "x1 after x4 still passes key frames only";
}

TEST_F(UiPlaybackTest, StepAdvancesOnePicture) {
  PlayFirstRow();
  Pump(400);
  Click(Dlg::IDC_PAUSE);
  Pump(400);
  const int64_t before = MaxDts(Channel0Since(0));
  const QImage a = GrabPanes()[0];
  Click(Dlg::IDC_STEP);
  Pump(500);
  const int64_t after = MaxDts(Channel0Since(0));
  EXPECT_GE(after - before, kFrameMs);
  EXPECT_LE(after - before, 2 * kFrameMs);
  EXPECT_NE(GrabPanes()[0], a);
  // And then it stays there.
  Pump(400);
  EXPECT_EQ(MaxDts(Channel0Since(0)), after);
}

TEST_F(UiPlaybackTest, SecondPlayRunsKeyFramesOnly) {
  PlayFirstRow();
  Pump(300);
  Click(Dlg::IDC_SECOND);
  const int64_t t = ShowRecorder::NowMs();
  EXPECT_TRUE(dlg()->playState().secondPlayEvent.IsSet());
  EXPECT_EQ(dlg()->speedText(), "x1");
  // Key frames as fast as they come: the rest of the recording (and the
  // rows after it) in well under a second.
  Pump(1000);
  const std::vector<int64_t> shown = Channel0Since(t);
  std::set<int64_t> distinct(shown.begin(), shown.end());
  EXPECT_GE(distinct.size(), 5u) << "second play did not move on";
  for (int64_t dts : shown) EXPECT_EQ(dts % kKeyEveryMs, 0) << "a picture that is not a key frame: " << dts;
}

TEST_F(UiPlaybackTest, SeekThroughTheSliderLandsOnTheKeyFrameAtOrBeforeTheTarget) {
  PlayFirstRow();
  CWaveDlg* wave = dlg()->waveDlg();
  ASSERT_TRUE(WaitUntil([&] { return wave->slider()->Maximum() == 16; }, 3000));
  const int64_t before = MaxDts(Channel0Since(0));
  ASSERT_LT(before, 5000);
  const int64_t t = ShowRecorder::NowMs();
  ClickSliderAt(wave->slider(), 9);
  // The first picture of each channel past the old position.
  auto firstAfterSeek = [&](int channel) {
    for (const Shown& s : recorder_.Since(t))
      if (s.channel == channel && s.dts >= 5000) return s.dts;
    return int64_t{-1};
  };
  ASSERT_TRUE(WaitUntil([&] {
    for (int c = 0; c < 4; ++c) if (firstAfterSeek(c) < 0) return false;
    return true;
  }, 3000)) << "no picture after the seek";
  // The reader seeks to the last key frame at or before the target in the
  // file; the channels are interleaved, so that is channel 4's key frame at
  // 9 s, and the other channels go on from there.
  EXPECT_EQ(firstAfterSeek(3), 9000);
  for (int c = 0; c < 3; ++c) {
    EXPECT_GE(firstAfterSeek(c), 9000) << c;
    EXPECT_LT(firstAfterSeek(c), 10000) << c;
  }
  // Playing goes on from there, and the slider follows.
  ASSERT_TRUE(WaitUntil([&] { return wave->slider()->Pos() >= 9 && !wave->SliderDragging(); }, 3000));
}

TEST_F(UiPlaybackTest, StopParksAndPlayStartsFromTheBeginning) {
  PlayFirstRow();
  Pump(1200);
  ASSERT_GT(MaxDts(Channel0Since(0)), 500);
  Click(Dlg::IDC_STOP);
  EXPECT_EQ(dlg()->speedText(), "x1");
  EXPECT_TRUE(dlg()->playState().krvOpenPath.Empty());
  Pump(500);
  const int64_t parked = ShowRecorder::NowMs();
  Pump(1000);
  EXPECT_TRUE(Channel0Since(parked).empty()) << "pictures while stopped";
  EXPECT_TRUE(dlg()->waveDlg()->timeText()->text().isEmpty());

  const int64_t t = ShowRecorder::NowMs();
  Click(Dlg::IDC_PLAY);
  ASSERT_TRUE(WaitUntil([&] { return !Channel0Since(t).empty(); }, 2000)) << "Play after Stop shows nothing";
  EXPECT_LE(Channel0Since(t).front(), 2 * kFrameMs) << "did not start from the beginning";
  EXPECT_EQ(dlg()->playState().krvOpenPath.Get(), DemoPath(0));
  Pump(500);
  EXPECT_GT(MaxDts(Channel0Since(t)), 4 * kFrameMs);
}

TEST_F(UiPlaybackTest, AtTheEndTheNextRowPlaysAndNothingAfterTheLast) {
  const int last = dlg()->list()->RowCount() - 1;
  DoubleClickRow(last - 1);  // 3 s
  ASSERT_TRUE(WaitPictures(2, 3000));
  ASSERT_TRUE(WaitUntil([&] { return dlg()->playState().krvOpenPath.Get() == DemoPath(last); }, 6000))
      << "the next row did not open";
  EXPECT_EQ(dlg()->list()->FirstSelectedRow(), last);
  EXPECT_FALSE(dlg()->list()->RowSelected(last - 1));
  const int64_t t = ShowRecorder::NowMs();
  ASSERT_TRUE(WaitUntil([&] { return MaxDts(Channel0Since(t)) >= 1000; }, 3000)) << "the next row does not play";
  // The last one ends: nothing more plays and the selection stays cleared.
  ASSERT_TRUE(WaitUntil([&] { return dlg()->list()->FirstSelectedRow() == -1; }, 6000));
  Pump(300);
  const int64_t after = ShowRecorder::NowMs();
  Pump(1000);
  for (const Shown& s : recorder_.Since(after)) EXPECT_EQ(s.dts, 0) << "a picture after the last row";
  EXPECT_EQ(dlg()->playState().krvOpenPath.Get(), DemoPath(last));
  EXPECT_EQ(dlg()->list()->FirstSelectedRow(), -1);
}

TEST_F(UiPlaybackTest, StopAfterTheLastRowEndedThenPlayStillPlays) {
  // The reader is parked at the end when Stop asks it to park: the Stop
  // must not swallow the next Play.
  const int last = dlg()->list()->RowCount() - 1;
  DoubleClickRow(last);
  ASSERT_TRUE(WaitPictures(2, 3000));
  ASSERT_TRUE(WaitUntil([&] { return dlg()->playState().ended.load() == 1; }, 6000));
  Click(Dlg::IDC_STOP);
  Pump(300);
  dlg()->list()->SelectRow(last, true);
  const int64_t t = ShowRecorder::NowMs();
  Click(Dlg::IDC_PLAY);
  ASSERT_TRUE(WaitUntil([&] { return MaxDts(Channel0Since(t)) >= 500; }, 3000)) << "Play after Stop shows nothing";
  EXPECT_LE(Channel0Since(t).front(), 2 * kFrameMs);
}

TEST_F(UiPlaybackTest, AnAviRowPlaysItsPeriodInFourPanes) {
  DoubleClickRow(3);  // channel 3 of the period
  for (int r = 1; r <= 4; ++r) EXPECT_TRUE(dlg()->list()->RowSelected(r)) << r;
  EXPECT_FALSE(dlg()->list()->RowSelected(0));
  EXPECT_EQ(dlg()->playState().fileKind.load(), playback::PlayState::kAvi);
  EXPECT_EQ(dlg()->playState().currentChannel.load(), 2);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(dlg()->playState().aviPath[c].Get(), DemoPath(1 + c));
  ASSERT_TRUE(WaitPictures(2, 3000));
  const std::vector<QImage> a = GrabPanes();
  Pump(700);
  const std::vector<QImage> b = GrabPanes();
  for (int c = 0; c < 4; ++c) EXPECT_NE(a[c], b[c]) << "pane " << c + 1;
}

TEST_F(UiPlaybackTest, SnapshotWritesThePictureOfTheSelectedPane) {
  PlayFirstRow();
  GCEVideoDialog* pane = dlg()->videoLayout()->paneOf(1);
  QTest::mouseClick(pane, Qt::LeftButton, {}, pane->rect().center());
  EXPECT_EQ(dlg()->videoLayout()->GetSelected(), 1);
  Click(Dlg::IDC_SNAPSHOT);
  const QDir folder(QString::fromStdString(dir_->path() + "snap/2"));
  ASSERT_TRUE(WaitUntil([&] { return folder.entryList({"*.jpg"}, QDir::Files).size() == 1; }, 3000));
  const QImage jpeg(folder.filePath(folder.entryList({"*.jpg"}, QDir::Files).front()));
  EXPECT_EQ(jpeg.size(), QSize(176, 144));
}

TEST_F(UiPlaybackTest, PicturesKeepMovingFullScreenAndBack) {
  PlayFirstRow();
  GCEVideoLayoutDialog* layout = dlg()->videoLayout();
  Click(Dlg::IDC_FULLSCREEN);
  ASSERT_TRUE(layout->isWindow());
  Pump(300);
  // The surfaces moved to another window and drew into a new context.
  const uint64_t painted = layout->paneOf(0)->surface()->PaintedGeneration();
  const std::vector<QImage> a = GrabPanes();
  Pump(600);
  const std::vector<QImage> b = GrabPanes();
  EXPECT_GT(layout->paneOf(0)->surface()->PaintedGeneration(), painted);
  for (int c = 0; c < 4; ++c) {
    EXPECT_NE(a[c], b[c]) << "pane " << c + 1 << " full screen";
    EXPECT_EQ(b[c].size(), layout->CellRect(c).size() - QSize(2, 2));
  }
  layout->paneOf(0)->BuildLeftMenu();
  layout->SetFullScreen(false);
  ASSERT_FALSE(layout->isWindow());
  Pump(300);
  const std::vector<QImage> c1 = GrabPanes();
  Pump(600);
  const std::vector<QImage> c2 = GrabPanes();
  for (int c = 0; c < 4; ++c) EXPECT_NE(c1[c], c2[c]) << "pane " << c + 1 << " back in the window";
}

class UiSoftwarePlaybackTest : public UiPlaybackTest {
 protected:
  void SetUp() override {
    allowOpenGL_ = false;
    UiPlaybackTest::SetUp();
  }
};

TEST_F(UiSoftwarePlaybackTest, WithoutOpenGLTheSoftwareBackendPlaysFourMovingPictures) {
  ASSERT_EQ(CurrentSurfaceKind(), SurfaceKind::kSoftware);
  PlayFirstRow();
  const std::vector<QImage> a = GrabPanes();
  Pump(700);
  const std::vector<QImage> b = GrabPanes();
  for (int c = 0; c < 4; ++c) {
    EXPECT_NE(a[c], b[c]) << "pane " << c + 1;
    // The picture fills the pane: its centre is not the black of an empty pane.
    const QColor centre = b[c].pixelColor(b[c].width() / 2, b[c].height() / 2);
    EXPECT_GT(centre.red() + centre.green() + centre.blue(), 60) << "pane " << c + 1;
  }
}

TEST_F(UiPlaybackTest, PlayingDeliversTheVehicleRecordsToTheWindowsMapAndChartQueues) {
  playback::Player& player = dlg()->player();
  // The map takes records once it has been shown.
  EXPECT_EQ(dlg()->playState().mapQueue.load(), nullptr);
  EXPECT_EQ(dlg()->playState().chartQueue.load(), &player.ChartQueue());
  Click(Dlg::IDC_MAP);
  EXPECT_EQ(dlg()->playState().mapQueue.load(), &player.MapQueue());
  ASSERT_TRUE(WaitUntil([&] { return player.Map().PageIsReady(); }, 30000));
  Click(Dlg::IDC_OPENFILE);  // the list again; the map, shown once, keeps taking records
  PlayFirstRow();
  // GPS once a second, G-sensor ten times a second in the demo recordings.
  ASSERT_TRUE(WaitUntil([&] { return player.Map().Counts().gps >= 2 && player.Chart().Counts().gSensor >= 20; },
                        6000))
      << "gps " << player.Map().Counts().gps << ", g-sensor " << player.Chart().Counts().gSensor << ", page "
      << player.Map().PageIsReady();
  EXPECT_GE(player.Map().Counts().drawn, 1) << "no usable fix";
  EXPECT_GE(player.Chart().Counts().otherSensors, 1);
  EXPECT_EQ(player.Map().Counts().broken + player.Chart().Counts().broken, 0);
}

// Closing while paused with full queues, and right after a seek request:
// the close ends every thread within a second all the same.
class UiPlaybackCloseTest : public UiPlaybackTest {
 protected:
  void CloseAfter(const std::function<void()>& what) {
    CloseWindow();
    const int baseline = OwnThreadCount();
    OpenWindow();
    PlayFirstRow();
    what();
    const int64_t t = ShowRecorder::NowMs();
    Click(Dlg::IDC_CLOSE);
    EXPECT_LT(ShowRecorder::NowMs() - t, 1000);
    EXPECT_TRUE(dlg()->pipelineClosed());
    EXPECT_EQ(OwnThreadCount(), baseline) << "threads left running after the close";
  }
};

TEST_F(UiPlaybackCloseTest, ClosingWhilePausedEndsEveryThreadWithinOneSecond) {
  CloseAfter([&] {
    Click(Dlg::IDC_PAUSE);
    Pump(600);  // the reader fills the queues and waits on them
  });
}

TEST_F(UiPlaybackCloseTest, ClosingRightAfterASeekEndsEveryThreadWithinOneSecond) {
  CloseAfter([&] {
    controls::PostMessageTo(dlg(), media::WM_SEEK, 0, 9);
    Pump(20);
  });
}

TEST_F(UiPlaybackTest, ClosingWhilePlayingEndsEveryThreadWithinOneSecond) {
  CloseWindow();
  const int baseline = OwnThreadCount();
  OpenWindow();
  PlayFirstRow();
  Pump(300);
  EXPECT_GT(OwnThreadCount(), baseline + 8);  // readers, clock, decode and display threads
  const int64_t t = ShowRecorder::NowMs();
  Click(Dlg::IDC_CLOSE);
  const int64_t took = ShowRecorder::NowMs() - t;
  RecordProperty("close_ms", static_cast<int>(took));
  std::fprintf(stderr, "closing while playing took %lld ms\n", static_cast<long long>(took));
  EXPECT_LT(took, 1000);
  EXPECT_TRUE(dlg()->pipelineClosed());
  EXPECT_FALSE(dlg()->isVisible());
  EXPECT_EQ(OwnThreadCount(), baseline) << "threads left running after the close";
}

}  // namespace
}  // namespace corvane::uitest
