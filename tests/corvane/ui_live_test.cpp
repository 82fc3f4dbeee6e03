// The live page of the real window under X against the test RTSP server:
// four panes with moving live pictures, recordings made with Rec that the
// catalogue lists and krvtool plays on their channel, a channel the panes
// cannot show, an unreachable recorder, a lost stream, and closing the
// window while four channels record.
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "krvtool_run.h"
#include "live/live_rtp.h"
#include "rtsp_peer.h"
#include "ui/url_dlg.h"
#include "ui/video_layout.h"
#include "ui/video_surface.h"
#include "ui_test_util.h"

namespace corvane::uitest {
namespace {

namespace fs = std::filesystem;

class UiLiveTest : public WindowFixture {
 protected:
  UiLiveTest() { noWindow_ = true; }
  void SetUp() override {
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(peer_.Start());
    // A port nothing listens on.
    {
      livetest::RtspPeer other;
      ASSERT_TRUE(other.Start());
      closedPort_ = other.Port();
    }
    recFolder_ = dir_->path() + "rec";
    SetSettingString(kSectionBrightmere, kKeyRecPath, recFolder_);
    std::ofstream(GetAppPaths().appDir + "CSGetHostInfo.xml")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<hosts><group>"
           "<device><name>Test bus</name><ip>127.0.0.1</ip><rtspport>"
        << peer_.Port()
        << "</rtspport><channelnum>0,1,2,3,4</channelnum></device>"
           "<device><name>Closed</name><ip>127.0.0.1</ip><rtspport>"
        << closedPort_ << "</rtspport><channelnum>0</channelnum></device></group></hosts>\n";
    OpenWindow(false);
    Click(CCorvaneDlg::IDC_LIVE);
    ASSERT_TRUE(dlg()->urlDlg() != nullptr);
    ASSERT_TRUE(dlg()->livePanel()->isVisible());
  }
  void TearDown() override {
    CloseWindow();
    peer_.Kill();
    WindowFixture::TearDown();
  }
  CUrlDlg* page() { return dlg()->urlDlg(); }
  void Select(int device, int channelItem) {
    QTreeWidgetItem* d = page()->tree()->topLevelItem(device);
    ASSERT_TRUE(d != nullptr);
    page()->tree()->setCurrentItem(channelItem < 0 ? d : d->child(channelItem));
    Pump(20);
  }
  void PressPlay() { QTest::mouseClick(page()->button(CUrlDlg::IDC_PLAY), Qt::LeftButton); }
  void PressRec() { QTest::mouseClick(page()->button(CUrlDlg::IDC_REC), Qt::LeftButton); }
  QString RecText() { return page()->button(CUrlDlg::IDC_REC)->text(); }
  uint64_t Pictures(int c) { return dlg()->videoLayout()->paneOf(c)->surface()->PictureCount(); }
  QLabel* PaneNotice(int c) {
    return dlg()->videoLayout()->paneOf(c)->findChild<QLabel*>(QStringLiteral("LiveNotice%1").arg(c));
  }
  std::vector<std::string> RecordedFiles() {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::exists(recFolder_)) return out;
    for (const auto& e : fs::recursive_directory_iterator(recFolder_, ec))
      if (e.is_regular_file()) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  livetest::RtspPeer peer_;
  int closedPort_ = 0;
  std::string recFolder_;
};

TEST_F(UiLiveTest, TreeOfTheHostFile) {
  QTreeWidget* tree = page()->tree();
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Test bus"));
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 5);
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Channel1"));
  EXPECT_EQ(tree->topLevelItem(0)->child(4)->text(0), QStringLiteral("Channel5"));
  EXPECT_EQ(page()->button(CUrlDlg::IDC_PLAY)->text(), QStringLiteral("Play"));
  EXPECT_EQ(page()->button(CUrlDlg::IDC_STOP)->text(), QStringLiteral("Stop"));
  EXPECT_EQ(RecText(), QStringLiteral("StartRec"));
}

TEST_F(UiLiveTest, FourPanesShowMovingPicturesAndRecordingsPlayBack) {
  const int64_t t0 = ShowRecorder::NowMs();
  for (int c = 0; c < 4; ++c) {
    Select(0, c);
    PressPlay();
  }
  ASSERT_TRUE(WaitUntil([&] { return recorder_.CountFor(0) > 0; }, 10000));
  int64_t first = -1;
  for (const ShowRecorder::Shown& s : recorder_.Since(t0))
    if (s.channel == 0) {
      first = s.atMs;
      break;
    }
  EXPECT_LE(first - t0, 2000) << "the first picture more than 2 s after Play";
  ASSERT_TRUE(WaitPictures(10, 10000));
  const std::vector<QImage> a = GrabPanes();
  Pump(400);
  const std::vector<QImage> b = GrabPanes();
  for (int c = 0; c < 4; ++c) EXPECT_NE(a[c], b[c]) << "pane " << c << " does not move";

  // Rec on each channel; the button follows the library.
  for (int c = 0; c < 4; ++c) {
    Select(0, c);
    PressRec();
    EXPECT_EQ(RecText(), QStringLiteral("StopRec")) << c;
  }
  Select(0, 4);
  EXPECT_EQ(RecText(), QStringLiteral("StartRec"));
  playback::Player& player = dlg()->player();
  // Each channel records from its next key frame: 5 s of the stream (125
  // pictures at 25 a second), stopped with the button as each gets there.
  bool stopped[4] = {false, false, false, false};
  ASSERT_TRUE(WaitUntil([&] {
    bool all = true;
    for (int c = 0; c < 4; ++c) {
      if (!stopped[c] && player.Live().Stats(c).recorded >= 125) {
        Select(0, c);
        PressRec();
        EXPECT_EQ(RecText(), QStringLiteral("StartRec")) << c;
        stopped[c] = true;
      }
      all = all && stopped[c];
    }
    return all;
  }, 20000));
  for (int c = 0; c < 4; ++c) EXPECT_EQ(player.Live().GetRecStatus(c), 0);
  // Each file is finished (its trailer written) at the channel's next packet.
  std::vector<std::string> files;
  EXPECT_TRUE(WaitUntil([&] {
    files = RecordedFiles();
    if (files.size() != 4u) return false;
    for (const std::string& f : files)
      if (livetest::ProbeFile(f).durationUs == 0) return false;
    return true;
  }, 5000));
  ASSERT_EQ(files.size(), 4u);
  const krvtest::RunResult list = krvtest::Krvtool({"list", recFolder_});
  ASSERT_EQ(list.code, 0) << list.err;
  EXPECT_EQ(list.Lines().size(), 4u) << list.out;
  for (int c = 0; c < 4; ++c) {
    const std::string& f = files[static_cast<size_t>(c)];
    // ..._1000_0C.krv, sorted by channel within the same second or later
    const livetest::Probed p = livetest::ProbeFile(f);
    EXPECT_NEAR(p.durationUs / 1e6, 5.0, 0.5) << f;
    EXPECT_EQ(p.endResult, -32) << f;
    const krvtest::RunResult play = krvtest::Krvtool({"play", f, "--report"});
    ASSERT_EQ(play.code, 0) << f << ": " << play.err.substr(0, 2000);
    const std::string channelPictures = "\"channel\": " + std::to_string(p.firstId) + ", \"pictures\": ";
    const size_t at = play.out.find(channelPictures);
    ASSERT_NE(at, std::string::npos) << play.out.substr(0, 300);
    EXPECT_GT(std::atoi(play.out.c_str() + at + channelPictures.size()), 100) << f;
  }
}

TEST_F(UiLiveTest, AChannelThePanesCannotShowIsRefused) {
  Select(0, 4);  // Channel5
  PressPlay();
  ASSERT_TRUE(WaitUntil([&] { return page()->findChild<QMessageBox*>(QStringLiteral("LiveNotice")) != nullptr; },
                        2000));
  EXPECT_FALSE(dlg()->player().AnyLive());
  EXPECT_TRUE(page()->statusLine()->text().contains(QStringLiteral("channels 1 to 4")));
}

TEST_F(UiLiveTest, RecButtonFollowsTheLibrary) {
  // Rec on a channel that is not open: a message, and the button stays.
  Select(0, 2);
  PressRec();
  EXPECT_EQ(RecText(), QStringLiteral("StartRec"));
  ASSERT_TRUE(WaitUntil([&] { return page()->findChild<QMessageBox*>(QStringLiteral("LiveNotice")) != nullptr; },
                        2000));
  EXPECT_TRUE(page()->statusLine()->text().contains(QStringLiteral("could not start")));
  // Open, Rec, then Stop: the channel closes and the button says so.
  PressPlay();
  PressRec();
  EXPECT_EQ(RecText(), QStringLiteral("StopRec"));
  EXPECT_EQ(dlg()->player().Live().GetRecStatus(2), 1);
  Select(0, 1);
  EXPECT_EQ(RecText(), QStringLiteral("StartRec"));  // another channel, not recording
  Select(0, 2);
  EXPECT_EQ(RecText(), QStringLiteral("StopRec"));
  QTest::mouseClick(page()->button(CUrlDlg::IDC_STOP), Qt::LeftButton);
  EXPECT_EQ(RecText(), QStringLiteral("StartRec"));
  EXPECT_FALSE(dlg()->player().AnyLive());
  // A language change keeps the texts the library's status gives.
  page()->ApplyTexts();
  EXPECT_EQ(RecText(), QStringLiteral("StartRec"));
}

TEST_F(UiLiveTest, RefusedRecorderIsToldAtOnceWithoutStallingTheWindow) {
  // The longest gap between two turns of the event loop while it is told.
  int64_t longestGapMs = 0;
  QElapsedTimer clock;
  clock.start();
  int64_t last = clock.elapsed();
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const int64_t now = clock.elapsed();
    longestGapMs = std::max(longestGapMs, now - last);
    last = now;
  });
  ticker.start(5);
  Select(1, 0);
  const int64_t t0 = ShowRecorder::NowMs();
  PressPlay();
  const int64_t playMs = ShowRecorder::NowMs() - t0;
  ASSERT_TRUE(WaitUntil([&] { return page()->statusLine()->text().contains(QStringLiteral("Connection refused")); },
                        3000))
      << page()->statusLine()->text().toStdString();
  const int64_t toldMs = ShowRecorder::NowMs() - t0;
  Pump(300);
  ticker.stop();
  EXPECT_LE(toldMs, 1000);
  std::printf("refused: Play returned after %lld ms, told after %lld ms; longest event-loop gap %lld ms\n",
              static_cast<long long>(playMs), static_cast<long long>(toldMs), static_cast<long long>(longestGapMs));
  EXPECT_LT(longestGapMs, 250);
  ASSERT_TRUE(PaneNotice(0) != nullptr);
  EXPECT_TRUE(PaneNotice(0)->isVisible());
  EXPECT_EQ(PaneNotice(0)->text(), QStringLiteral("Connection refused"));
}

TEST_F(UiLiveTest, LostStreamIsShownInThePane) {
  Select(0, 1);
  PressPlay();
  ASSERT_TRUE(WaitUntil([&] { return Pictures(1) >= 5; }, 10000));
  peer_.Kill();
  ASSERT_TRUE(WaitUntil([&] { return PaneNotice(1) && PaneNotice(1)->isVisible(); }, 10000));
  EXPECT_TRUE(PaneNotice(1)->text().startsWith(QStringLiteral("Lost"))) << PaneNotice(1)->text().toStdString();
}

TEST_F(UiLiveTest, ClosingWithFourChannelsRecordingEndsEveryThread) {
  for (int c = 0; c < 4; ++c) {
    Select(0, c);
    PressPlay();
    PressRec();
  }
  playback::Player& player = dlg()->player();
  ASSERT_TRUE(WaitUntil([&] {
    for (int c = 0; c < 4; ++c)
      if (player.Live().Stats(c).recorded < 10) return false;
    return true;
  }, 10000));
  const int threadsBefore = OwnThreadCount();
  QElapsedTimer t;
  t.start();
  CloseWindow();
  const int64_t ms = t.elapsed();
  std::printf("close with four channels recording: %lld ms\n", static_cast<long long>(ms));
  EXPECT_LT(ms, 1000);
  EXPECT_LT(OwnThreadCount(), threadsBefore);
  const std::vector<std::string> files = RecordedFiles();
  ASSERT_EQ(files.size(), 4u);
  for (const std::string& f : files) {
    const livetest::Probed p = livetest::ProbeFile(f);
    EXPECT_TRUE(p.firstKey) << f;
    EXPECT_GT(p.durationUs, 0) << f;
    EXPECT_EQ(p.endResult, -32) << f;
  }
}

}  // namespace
}  // namespace corvane::uitest
