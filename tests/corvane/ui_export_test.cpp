// Cut points and the export in the real window under X: the set and delete
// rules with the slider's marks, the save dialog's names and remembered
// choice, the selected window exporting its pane's channel, and closing the
// window during an export.
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <thread>

#include "controls/control_id.h"
#include "export_test_util.h"
#include "core/settings.h"
#include "ui/save_video_dlg.h"
#include "ui/video_layout.h"
#include "ui/wave_dlg.h"
#include "ui_test_util.h"

namespace corvane::uitest {
namespace {

namespace fs = std::filesystem;

class UiExportTest : public WindowFixture {
 protected:
  CWaveDlg* wave() { return dlg()->waveDlg(); }
  // The slider as the play time leaves it: total seconds, thumb at pos.
  void SliderAt(int pos) { wave()->slider()->SetPos(pos); }
  void PlayRow0AndPause() {
    DoubleClickRow(0);
    ASSERT_TRUE(WaitPictures(2, 4000));
    ASSERT_TRUE(WaitUntil([&] { return !wave()->WaitingForDuration(); }, 4000));
    Click(CCorvaneDlg::IDC_PAUSE);
    Pump(200);
  }
  // A button of the lower panel.
  void ClickWave(int id) {
    auto* b = qobject_cast<QAbstractButton*>(controls::FindControl(wave(), id));
    ASSERT_NE(b, nullptr) << id;
    b->click();
  }
  QMessageBox* Notice(const char* name) { return dlg()->findChild<QMessageBox*>(QString::fromLatin1(name)); }
};

TEST_F(UiExportTest, CutPointsFollowTheRulesAndShowOnTheSlider) {
  for (int id : {CWaveDlg::IDC_SETCUT, CWaveDlg::IDC_DELCUT, CWaveDlg::IDC_CUTVIDEO}) {
    QWidget* b = controls::FindControl(wave(), id);
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->isEnabled()) << id;
  }
  PlayRow0AndPause();
  QSignalSpy pauses(button(CCorvaneDlg::IDC_PAUSE), &QAbstractButton::clicked);
  controls::CBitmapSlider* slider = wave()->slider();
  auto* setCut = qobject_cast<QAbstractButton*>(controls::FindControl(wave(), CWaveDlg::IDC_SETCUT));
  auto* delCut = qobject_cast<QAbstractButton*>(controls::FindControl(wave(), CWaveDlg::IDC_DELCUT));
  const CutState& cut = wave()->cutState();

  SliderAt(9);
  setCut->click();
  EXPECT_EQ(cut.State(), 1);
  EXPECT_EQ(cut.StartPosition(), 9);
  EXPECT_EQ(slider->MarkCount(), 1);
  // The same pixel again: nothing.
  setCut->click();
  EXPECT_EQ(cut.State(), 1);
  EXPECT_EQ(pauses.count(), 0);
  // Left of the first: the two are exchanged, and playback pauses.
  SliderAt(4);
  setCut->click();
  EXPECT_EQ(cut.State(), 2);
  EXPECT_EQ(cut.StartPosition(), 4);
  EXPECT_EQ(cut.EndPosition(), 9);
  EXPECT_LT(cut.StartMark(), cut.EndMark());
  EXPECT_EQ(cut.StartMark(), slider->XForPos(4));
  EXPECT_EQ(slider->MarkCount(), 2);
  EXPECT_EQ(pauses.count(), 1);
  // Both set: a third does nothing.
  SliderAt(12);
  setCut->click();
  EXPECT_EQ(cut.State(), 2);
  EXPECT_EQ(cut.EndPosition(), 9);
  // Delete: the second goes, then the first; at 0 nothing.
  delCut->click();
  EXPECT_EQ(cut.State(), 1);
  EXPECT_EQ(slider->MarkCount(), 1);
  delCut->click();
  EXPECT_EQ(cut.State(), 0);
  delCut->click();
  EXPECT_EQ(cut.State(), 0);
  EXPECT_EQ(slider->MarkCount(), 0);

  // Saving with fewer than two points says so.
  SliderAt(2);
  setCut->click();
  ClickWave(CWaveDlg::IDC_CUTVIDEO);
  QMessageBox* box = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (box = wave()->findChild<QMessageBox*>(QStringLiteral("cutMessage"))); }, 2000));
  EXPECT_EQ(box->text(), QStringLiteral("Need more cut poit"));
  box->close();

  // Another recording opening forgets the cut points.
  SliderAt(6);
  setCut->click();
  ASSERT_EQ(cut.State(), 2);
  DoubleClickRow(5);
  EXPECT_TRUE(WaitUntil([&] { return cut.State() == 0; }, 4000));
  EXPECT_EQ(slider->MarkCount(), 0);
}

TEST_F(UiExportTest, SaveDialogNamesChoicesAndTheRememberBit) {
  CSaveVideoFileDlg d(dlg(), QStringLiteral("20131227071048_0100_03"), QString::fromStdString(dir_->path()), 0,
                      false, false);
  // Without the remember bit: the selected window, the proposed name.
  EXPECT_TRUE(d.SelectedWindow());
  EXPECT_FALSE(d.Remember());
  EXPECT_EQ(d.NameText(), QStringLiteral("20131227071048_0100_03"));
  EXPECT_EQ(d.BaseName(), QStringLiteral("20131227071048_0100_"));
  // Channels 1 and 3: two quoted names, each followed by a space.
  d.ToggleChannel(1);
  EXPECT_FALSE(d.SelectedWindow());
  EXPECT_EQ(d.NameText(), QStringLiteral("20131227071048_0100_01"));
  d.ToggleChannel(3);
  EXPECT_EQ(d.NameText(), QStringLiteral("\"20131227071048_0100_01\" \"20131227071048_0100_03\" "));
  const QStringList paths = d.ChosenPaths();
  ASSERT_EQ(paths.size(), 2);
  EXPECT_TRUE(paths[0].endsWith(QStringLiteral("/20131227071048_0100_01.avi"))) << paths[0].toStdString();
  EXPECT_TRUE(paths[1].endsWith(QStringLiteral("/20131227071048_0100_03.avi")));
  EXPECT_EQ(d.CheckChoice(), QString());
  d.ToggleRemember();
  EXPECT_EQ(d.ChoiceWord(), 1u | 4u | 16u);
  // Toggling "Selected window" clears the channels and the remember bit.
  d.ToggleSelectedWindow();
  EXPECT_TRUE(d.SelectedWindow());
  EXPECT_FALSE(d.Remember());
  EXPECT_FALSE(d.Channel(1));
  EXPECT_EQ(d.ChoiceWord(), 2u);
  EXPECT_EQ(d.NameText(), QStringLiteral("20131227071048_0100_03"));
  // Nothing chosen: OK says so and the dialog stays open.
  d.ToggleSelectedWindow();
  EXPECT_EQ(d.CheckChoice(), QStringLiteral("Please select the channel(s)"));
  d.show();
  d.accept();
  EXPECT_TRUE(WaitUntil([&] { return d.findChild<QMessageBox*>(QStringLiteral("saveChoiceMessage")) != nullptr; }, 2000));
  EXPECT_TRUE(d.isVisible());
  EXPECT_NE(d.result(), QDialog::Accepted);
  // Fewer names than checked channels: refused as well.
  d.ToggleChannel(2);
  d.ToggleChannel(4);
  d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("only-one"));
  EXPECT_FALSE(d.CheckChoice().isEmpty());
  d.reject();

  // With the remember bit the stored choice comes back (the channels unless
  // the selected window is stored).
  CSaveVideoFileDlg r(dlg(), QStringLiteral("20131227071048_0100_03"), QString(), 1u | 8u | 32u, true, false);
  EXPECT_TRUE(r.Remember());
  EXPECT_FALSE(r.SelectedWindow());
  EXPECT_TRUE(r.Channel(2));
  EXPECT_TRUE(r.Channel(4));
  EXPECT_FALSE(r.Channel(1));
  EXPECT_TRUE(r.Sha256());
  EXPECT_EQ(r.NameText(), QStringLiteral("\"20131227071048_0100_02\" \"20131227071048_0100_04\" "));
  CSaveVideoFileDlg s(dlg(), QStringLiteral("x_01"), QString(), 1u | 2u | 4u, false, false);
  EXPECT_TRUE(s.SelectedWindow());
  EXPECT_FALSE(s.Channel(1));
  // A stored choice without the remember bit is not shown.
  CSaveVideoFileDlg t(dlg(), QStringLiteral("x_01"), QString(), 8u, false, false);
  EXPECT_TRUE(t.SelectedWindow());
  EXPECT_FALSE(t.Channel(2));
}

TEST_F(UiExportTest, SelectedWindowExportsThePanesChannelUnderTheProposedName) {
  PlayRow0AndPause();
  dlg()->videoLayout()->Select(2);  // the pane of channel 3
  const std::string out = dir_->path() + "out";
  fs::create_directories(out);
  SetSettingString(kSectionBrightmere, kKeySaveName, out);
  SetSettingInt(kSectionWaveConfig, kKeySaveSha256, 1);
  SliderAt(5);
  ClickWave(CWaveDlg::IDC_SETCUT);
  SliderAt(8);
  ClickWave(CWaveDlg::IDC_SETCUT);
  ASSERT_EQ(wave()->cutState().State(), 2);

  QString name;
  bool sawDialog = false;
  QTimer::singleShot(200, [&] {
    CSaveVideoFileDlg* d = wave()->saveDialog();
    if (!d) return;
    sawDialog = true;
    name = d->NameText();
    d->accept();
  });
  ClickWave(CWaveDlg::IDC_CUTVIDEO);  // runs the dialog
  ASSERT_TRUE(sawDialog);
  // Recording 20240301080000_1000 from second 5, pane of channel 3.
  EXPECT_EQ(name, QStringLiteral("20240301080005_1000_03"));
  EXPECT_EQ(wave()->cutState().State(), 0);
  ASSERT_TRUE(WaitUntil([&] { return Notice("exportMessage") != nullptr; }, 20000));
  const avexport::ExportResult r = dlg()->player().LastExportResult();
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  // The file named for channel 3 holds channel 3's pictures.
  EXPECT_GT(r.videoPackets[2], 0);
  EXPECT_EQ(r.videoPackets[0], 0);
  EXPECT_TRUE(fs::exists(out + "/20240301080005_1000_03.avi"));
  EXPECT_TRUE(fs::exists(out + "/20240301080005_1000_03.sha256"));
  EXPECT_EQ(dlg()->exportProgressDialog(), nullptr);
  // The choice and the folder are stored.
  EXPECT_EQ(GetSettingInt(kSectionWaveConfig, kKeySaveParam, -1), 2);
  EXPECT_EQ(fs::path(GetSettingString(kSectionBrightmere, kKeySaveName, "")), fs::path(out));
}

TEST_F(UiExportTest, ChannelsCheckedExportUnderTheirNamesAndTheWindowPlaysOn) {
  PlayRow0AndPause();
  const std::string out = dir_->path() + "out2";
  fs::create_directories(out);
  SetSettingString(kSectionBrightmere, kKeySaveName, out);
  SliderAt(3);
  ClickWave(CWaveDlg::IDC_SETCUT);
  SliderAt(6);
  ClickWave(CWaveDlg::IDC_SETCUT);
  bool sawDialog = false;
  QTimer::singleShot(200, [&] {
    CSaveVideoFileDlg* d = wave()->saveDialog();
    if (!d) return;
    sawDialog = true;
    d->ToggleChannel(1);
    d->ToggleChannel(4);
    d->accept();
  });
  ClickWave(CWaveDlg::IDC_CUTVIDEO);
  ASSERT_TRUE(sawDialog);
  ASSERT_TRUE(WaitUntil([&] { return Notice("exportMessage") != nullptr; }, 20000));
  const avexport::ExportResult r = dlg()->player().LastExportResult();
  ASSERT_EQ(r.outcome, avexport::ExportResult::Outcome::kFinished) << r.reason;
  EXPECT_TRUE(fs::exists(out + "/20240301080003_1000_01.avi"));
  EXPECT_TRUE(fs::exists(out + "/20240301080003_1000_04.avi"));
  EXPECT_GT(r.videoPackets[0], 0);
  EXPECT_GT(r.videoPackets[3], 0);
  EXPECT_EQ(r.videoPackets[1], 0);
  EXPECT_EQ(GetSettingInt(kSectionWaveConfig, kKeySaveParam, -1), 4 | 32);
}

}  // namespace
}  // namespace corvane::uitest

namespace corvane::uitest {
namespace {

// A long recording (row 0 of the demo tree repeated), opened from its own
// folder; the export of all of it runs long enough to be closed on.
class UiExportLongTest : public UiExportTest {
 protected:
  void SetUp() override {
    noWindow_ = true;
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    folder_ = dir_->path() + "long/20240301";
    fs::create_directories(folder_);
    exporttest::Rewrite how;
    how.repeats = 4;
    exporttest::RewriteKrv(DemoFolder() + "/" + DemoFiles()[0].relPath, folder_ + "/20240301080000_1000.krv", how,
                           1709280000);
    // The export is held up (as by a slow disk) once it has passed 10 %,
    // until it is no longer running or 5 s have passed.
    exportObserver_ = [this](int percent) {
      if (percent < 10 || held_.exchange(true)) return;
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (dlg_ && dlg_->player().Exporting() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    OpenWindow(false);
    ASSERT_EQ(dlg()->OpenFolder(dir_->path() + "long"), FolderScanStatus::Ok);
  }
  std::atomic<bool> held_{false};
  // Starts an export of all four channels and waits until the bar moved.
  void StartLongExport(const std::string& out) {
    DoubleClickRow(0);
    ASSERT_TRUE(WaitUntil([&] { return !wave()->WaitingForDuration(); }, 4000));
    Click(CCorvaneDlg::IDC_PAUSE);
    fs::create_directories(out);
    SetSettingString(kSectionBrightmere, kKeySaveName, out);
    SetSettingInt(kSectionWaveConfig, kKeySaveGpx, 1);
    SliderAt(1);
    ClickWave(CWaveDlg::IDC_SETCUT);
    SliderAt(wave()->slider()->Maximum());
    ClickWave(CWaveDlg::IDC_SETCUT);
    QTimer::singleShot(200, [&] {
      if (CSaveVideoFileDlg* d = wave()->saveDialog()) {
        for (int k = 1; k <= 4; ++k) d->ToggleChannel(k);
        d->accept();
      }
    });
    ASSERT_GT(wave()->slider()->Maximum(), 60);
    ClickWave(CWaveDlg::IDC_CUTVIDEO);
    ASSERT_TRUE(dlg()->player().Exporting());
    ASSERT_TRUE(WaitUntil(
        [&] { return dlg()->exportProgressDialog() && dlg()->exportProgressDialog()->value() >= 10; }, 20000));
    ASSERT_TRUE(dlg()->player().Exporting()) << "the export ended before it could be stopped";
    EXPECT_TRUE(dlg()->exportProgressDialog()->isModal() ||
                dlg()->exportProgressDialog()->windowModality() == Qt::WindowModal);
  }
  std::string folder_;
};

TEST_F(UiExportLongTest, CancelInTheProgressDialogRemovesTheExportsFiles) {
  const std::string out = dir_->path() + "out-cancel";
  StartLongExport(out);
  const auto t0 = std::chrono::steady_clock::now();
  auto* cancel = dlg()->exportProgressDialog()->findChild<QPushButton*>();
  ASSERT_NE(cancel, nullptr);
  cancel->click();
  ASSERT_TRUE(WaitUntil([&] { return !dlg()->player().Exporting(); }, 1000));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
  EXPECT_EQ(dlg()->player().LastExportResult().outcome, avexport::ExportResult::Outcome::kCancelled);
  EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(UiExportLongTest, ClosingTheWindowEndsTheExportAndRemovesItsFiles) {
  const std::string out = dir_->path() + "out-close";
  StartLongExport(out);
  EXPECT_FALSE(fs::is_empty(out));  // .part files being written
  const auto t0 = std::chrono::steady_clock::now();
  CloseWindow();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
  EXPECT_TRUE(fs::is_empty(out));
}

}  // namespace
}  // namespace corvane::uitest
