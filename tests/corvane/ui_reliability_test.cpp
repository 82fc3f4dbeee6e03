// The window on bad input: a record folder that is gone, is a file or
// cannot be read is said so and the list stays; a snapshot folder that
// cannot be made is said once per session; damaged recordings play through
// with the list advancing at their ends, and nothing hangs.
#include <unistd.h>

#include <QMessageBox>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/catalogue.h"
#include "core/settings.h"
#include "playback/play_state.h"
#include "synth/synth.h"
#include "tests/soak/damage.h"
#include "ui/video_layout.h"
#include "ui_test_util.h"

namespace corvane::uitest {
namespace {

namespace fs = std::filesystem;
using Dlg = CCorvaneDlg;

class UiReliabilityTest : public WindowFixture {
 protected:
  // The visible message boxes of the window named `name`.
  std::vector<QMessageBox*> Boxes(const QString& name) {
    std::vector<QMessageBox*> out;
    for (QMessageBox* b : dlg()->findChildren<QMessageBox*>(name))
      if (b->isVisible()) out.push_back(b);
    return out;
  }
};

TEST_F(UiReliabilityTest, ABadRecordFolderIsSaidAndTheListStays) {
  const int rows = dlg()->list()->RowCount();
  ASSERT_GT(rows, 0);
  test::WriteFile(dir_->path() + "a-file.krv", "x");
  ASSERT_EQ(::symlink((dir_->path() + "loop").c_str(), (dir_->path() + "loop").c_str()), 0);
  const struct {
    std::string path;
    FolderScanStatus status;
    QString text;
  } cases[] = {
      {dir_->path() + "gone", FolderScanStatus::Missing, "The record folder does not exist"},
      {dir_->path() + "a-file.krv", FolderScanStatus::NotAFolder, "The record path is not a folder"},
      {dir_->path() + "loop", FolderScanStatus::Unreadable, "The record folder cannot be read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(dlg()->OpenFolder(c.path), c.status);
    std::vector<QMessageBox*> boxes = Boxes("folderMessage");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0]->text().startsWith(c.text)) << boxes[0]->text().toStdString();
    EXPECT_TRUE(boxes[0]->text().contains(QString::fromStdString(c.path)));
    EXPECT_EQ(dlg()->list()->RowCount(), rows);
    EXPECT_EQ(GetSettingString(kSectionBrightmere, kKeyFolderName, ""), DemoFolder());
    boxes[0]->close();
    ASSERT_TRUE(WaitUntil([&] { return Boxes("folderMessage").empty(); }, 2000));
  }
  // The list still plays.
  DoubleClickRow(0);
  EXPECT_TRUE(WaitPictures(2, 20000));
}

TEST_F(UiReliabilityTest, ASnapshotFolderThatCannotBeMadeIsSaidOncePerSession) {
  test::WriteFile(dir_->path() + "blocker", "a file where the folder should be");
  ASSERT_TRUE(SetSettingString(kSectionBrightmere, kKeySnapshotPath, dir_->path() + "blocker/snap/"));
  DoubleClickRow(0);
  ASSERT_TRUE(WaitPictures(3, 20000));
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    Click(Dlg::IDC_SNAPSHOT);
    Pump(150);
  }
  ASSERT_TRUE(WaitUntil([&] { return !Boxes("snapshotMessage").empty(); }, 5000));
  Pump(300);
  std::vector<QMessageBox*> boxes = Boxes("snapshotMessage");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0]->text().contains(QString::fromStdString(dir_->path() + "blocker/snap/")));
  boxes[0]->close();
  for (int i = 0; i < 2; ++i) {
    Click(Dlg::IDC_SNAPSHOT);
    Pump(150);
  }
  Pump(500);
  EXPECT_TRUE(Boxes("snapshotMessage").empty());
  const std::string said = ::testing::internal::GetCapturedStderr();
  size_t lines = 0;
  for (size_t at = said.find("snapshot: cannot make the folder"); at != std::string::npos;
       at = said.find("snapshot: cannot make the folder", at + 1))
    ++lines;
  EXPECT_EQ(lines, 1u) << said;
  EXPECT_EQ(said.find("can't open"), std::string::npos) << said;
}

// Recordings as recorders leave them: cut short, sectors of zeros, a stretch
// of garbage, flipped bits. Each plays to where it can, and the list moves
// on to the next at the end of each.
TEST_F(UiReliabilityTest, DamagedRecordingsPlayThroughAndTheListAdvances) {
  const std::string folder = dir_->path() + "damaged/20240401/";
  fs::create_directories(folder);
  const soak::Damage kinds[] = {soak::Damage::kTruncate, soak::Damage::kZeroRun, soak::Damage::kGarbageRun,
                                soak::Damage::kBitFlips, soak::Damage::kDrop};
  soak::Damager damager(11);
  int n = 0;
  for (soak::Damage kind : kinds) {
    krvsynth::SynthOptions o;
    o.seconds = 3;
    o.startTime = krvsynth::ParseStartTime("2024040108000" + std::to_string(n));
    o.width = 176;
    o.height = 144;
    o.seed = 20 + n;
    const std::string path = folder + "2024040108000" + std::to_string(n) + "_1000.krv";
    std::string error;
    ASSERT_TRUE(krvsynth::WriteKrv(o, path, &error)) << error;
    std::vector<uint8_t> bytes;
    {
      std::ifstream in(path, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Cut no shorter than half: the catalogue lists it, and it has pictures.
    if (kind == soak::Damage::kTruncate)
      bytes.resize(bytes.size() / 2 + damager.Below(bytes.size() / 4));
    else
      damager.Apply(kind, bytes);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ++n;
  }
  ASSERT_EQ(dlg()->OpenFolder(dir_->path() + "damaged"), FolderScanStatus::Ok);
  const int rows = dlg()->list()->RowCount();
  ASSERT_EQ(rows, n);
  DoubleClickRow(0);
  std::vector<int> visited{0};
  const bool reachedLast = WaitUntil(
      [&] {
        const int r = dlg()->list()->FirstSelectedRow();
        if (r >= 0 && r != visited.back()) visited.push_back(r);
        return r == rows - 1;
      },
      60000);
  ASSERT_TRUE(reachedLast) << "stuck on row " << dlg()->list()->FirstSelectedRow();
  for (size_t i = 1; i < visited.size(); ++i) EXPECT_EQ(visited[i], visited[i - 1] + 1);
  // The last one ends too, and the window still answers.
  ASSERT_TRUE(WaitUntil([&] { return dlg()->playState().ended.load() != 0; }, 30000));
  Click(Dlg::IDC_STOP);
  DoubleClickRow(0);
  EXPECT_TRUE(WaitPictures(1, 20000));
}

}  // namespace
}  // namespace corvane::uitest
