// The settings dialog and the file-properties dialog of the real window.
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidgetItem>
#include <filesystem>
#include <regex>

#include "controls/color_list_ctrl.h"
#include "controls/control_id.h"
#include "controls/message_event.h"
#include "core/catalogue.h"
#include "core/settings.h"
#include "playback/reader_threads.h"
#include "ui/file_property.h"
#include "ui/setting_dlg.h"
#include "ui_search_util.h"

namespace corvane::uitest {
namespace {

namespace fs = std::filesystem;
using Dlg = CCorvaneDlg;

// ---- settings -------------------------------------------------------------

// Records what the map view is told.
class MapWatcher : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (controls::ACMessageEvent* m = controls::AsMessage(e)) {
      if (m->message() == static_cast<uint32_t>(CSetting::kMsgMapOffset)) values.push_back(m->wParam);
    }
    return false;
  }
  std::vector<intptr_t> values;
};

class SettingDialogTest : public WindowFixture {
 protected:
  void SetUp() override {
    noWindow_ = true;
    WindowFixture::SetUp();
    if (IsSkipped()) return;
    OpenWindow(false);
    CSetting::SetFolderChooser([this](QWidget*, const QString& title, const QString& start) {
      titles_.push_back(title);
      starts_.push_back(start);
      return chosen_;
    });
  }
  void TearDown() override {
    CSetting::SetFolderChooser(nullptr);
    WindowFixture::TearDown();
  }
  // Opens the dialog with the settings button and runs step inside it.
  void WithDialog(std::function<void(CSetting*)> step) {
    ModalDriver driver;
    bool ran = false;
    driver.When<CSetting>([&](CSetting* d) {
      step(d);
      ran = true;
      if (d->isVisible()) d->reject();
    });
    Click(Dlg::IDC_SETTING);
    EXPECT_TRUE(ran);
    messages_ = driver.messages();
  }
  static void Press(CSetting* d, int id) {
    auto* b = qobject_cast<QAbstractButton*>(controls::FindControl(d, id));
    ASSERT_NE(b, nullptr) << id;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  std::string Setting(const char* key) { return GetSettingString(kSectionBrightmere, key, "<none>"); }
  std::string Folder(const std::string& name, std::size_t chars) {
    // A folder whose full path has exactly `chars` characters.
    std::string path = dir_->path() + name;
    if (path.size() < chars) path += std::string(chars - path.size(), 'x');
    fs::create_directories(path);
    if (chars) {
      EXPECT_EQ(path.size(), chars);
    }
    return path;
  }

  QString chosen_;
  std::vector<QString> titles_, starts_, messages_;
};

TEST_F(SettingDialogTest, SettingDialogChoosesFoldersUpTo240Characters) {
  const std::string ok240 = Folder("snap-", 240);
  const std::string bad241 = Folder("rec-", 241);
  SetSettingString(kSectionBrightmere, kKeyRecPath, dir_->path());
  WithDialog([&](CSetting* d) {
    EXPECT_EQ(d->windowTitle(), "Setting");
    EXPECT_EQ(qobject_cast<QCheckBox*>(controls::FindControl(d, CSetting::IDC_MAPOFFSET))->text(), "Open map offset");
    chosen_ = QString::fromStdString(ok240);
    Press(d, CSetting::IDC_SNAP_BROWSE);
    EXPECT_EQ(d->snapshotEdit()->text().toStdString(), ok240);
    chosen_ = QString::fromStdString(bad241);
    Press(d, CSetting::IDC_REC_BROWSE);
    EXPECT_EQ(d->recordEdit()->text().toStdString(), dir_->path());  // refused: unchanged
    chosen_.clear();  // the chooser cancelled: nothing changes
    Press(d, CSetting::IDC_SNAP_BROWSE);
    EXPECT_EQ(d->snapshotEdit()->text().toStdString(), ok240);
  });
  ASSERT_EQ(titles_.size(), 3u);
  EXPECT_EQ(titles_[0], "Please selete output directoy of photos");
  EXPECT_EQ(titles_[1], "Please selete path of video file");
  EXPECT_EQ(starts_[1].toStdString(), dir_->path());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], QString::fromLatin1(kPathTooLongText));
}

TEST_F(SettingDialogTest, SettingDialogOkSavesExistingFoldersWithASlashAndTellsTheMap) {
  MapWatcher map;
  dlg()->mapPanel()->installEventFilter(&map);
  SetSettingString(kSectionBrightmere, kKeySnapshotPath, "/old/snap/");
  SetSettingString(kSectionBrightmere, kKeyRecPath, "/old/rec/");
  const std::string snap = Folder("snapshots", 0);
  const std::string rec = Folder("records/", 0);
  const std::string gone = Folder("gone", 0);
  // No MapOffset stored: the map treats that as on, and so does the dialog.
  WithDialog([&](CSetting* d) {
    EXPECT_TRUE(d->mapOffsetBox()->isChecked());
    chosen_ = QString::fromStdString(snap);
    Press(d, CSetting::IDC_SNAP_BROWSE);
    chosen_ = QString::fromStdString(rec);
    Press(d, CSetting::IDC_REC_BROWSE);
    Press(d, CSetting::IDC_OK);
    EXPECT_FALSE(d->isVisible());
  });
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(Setting(kKeySnapshotPath), snap + "/");
  EXPECT_EQ(Setting(kKeyRecPath), rec);  // ends with "/" already
  EXPECT_EQ(GetSettingInt(kSectionBrightmere, kKeyMapOffset, -1), 1);
  ASSERT_TRUE(WaitUntil([&] { return map.values.size() == 1; }, 1000));
  EXPECT_EQ(map.values[0], 1);

  // A folder removed before OK keeps the old value, and the user is told.
  WithDialog([&](CSetting* d) {
    chosen_ = QString::fromStdString(gone);
    Press(d, CSetting::IDC_REC_BROWSE);
    fs::remove(gone);
    d->mapOffsetBox()->setChecked(false);
    Press(d, CSetting::IDC_OK);
  });
  EXPECT_EQ(Setting(kKeyRecPath), rec);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].contains(QString::fromStdString(gone))) << messages_[0].toStdString();
  EXPECT_EQ(GetSettingInt(kSectionBrightmere, kKeyMapOffset, -1), 0);
  ASSERT_TRUE(WaitUntil([&] { return map.values.size() == 2; }, 1000));
  EXPECT_EQ(map.values[1], 0);
  dlg()->mapPanel()->removeEventFilter(&map);

  // The values are in setting.ini, and after the window was closed and
  // opened again the dialog shows them.
  const std::string ini = test::ReadFile(GetAppPaths().settingsPath);
  EXPECT_NE(ini.find("SnapshotPath=" + snap + "/"), std::string::npos) << ini;
  EXPECT_NE(ini.find("RecPath=" + rec), std::string::npos) << ini;
  EXPECT_NE(ini.find("MapOffset=0"), std::string::npos) << ini;
  // (Not the fixture's OpenWindow, which stores a snapshot folder of its own.)
  CloseWindow();
  CCorvaneDlg::Options options;
  options.scanStoredFolder = false;
  dlg_ = std::make_unique<CCorvaneDlg>(options);
  dlg_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg_.get()));
  WithDialog([&](CSetting* d) {
    EXPECT_EQ(d->snapshotEdit()->text().toStdString(), snap + "/");
    EXPECT_EQ(d->recordEdit()->text().toStdString(), rec);
    EXPECT_FALSE(d->mapOffsetBox()->isChecked());
  });
}

TEST_F(SettingDialogTest, SettingDialogRefusesOverLongTextsAndCancelWritesNothing) {
  const std::string before = test::ReadFile(GetAppPaths().settingsPath);
  WithDialog([&](CSetting* d) {
    chosen_ = QString::fromStdString(Folder("c", 0));
    Press(d, CSetting::IDC_SNAP_BROWSE);
    d->mapOffsetBox()->setChecked(false);
    Press(d, CSetting::IDC_CANCEL);
    EXPECT_FALSE(d->isVisible());
  });
  EXPECT_EQ(test::ReadFile(GetAppPaths().settingsPath), before);

  // Texts stored too long: OK says so and the dialog stays open.
  SetSettingString(kSectionBrightmere, kKeySnapshotPath, "/" + std::string(240, 's'));
  WithDialog([&](CSetting* d) {
    Press(d, CSetting::IDC_OK);
    EXPECT_TRUE(d->isVisible());
  });
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Snapshot path too long!");
  SetSettingString(kSectionBrightmere, kKeySnapshotPath, "");
  SetSettingString(kSectionBrightmere, kKeyRecPath, "/" + std::string(240, 'r'));
  WithDialog([&](CSetting* d) {
    Press(d, CSetting::IDC_OK);
    EXPECT_TRUE(d->isVisible());
  });
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Record path too long!");
  EXPECT_EQ(GetSettingInt(kSectionBrightmere, kKeyMapOffset, -1), -1);
}

// ---- file properties ------------------------------------------------------

TEST(FilePropertyTextTest, PropertySizeAndBitRateTextsAsTheRecorderToolsPrintThem) {
  EXPECT_EQ(PropertySizeText(1048576), "1.00 MB");
  EXPECT_EQ(PropertySizeText(1048575), "1024.00 KB");
  EXPECT_EQ(PropertySizeText(1023), "1023 B");
  EXPECT_EQ(PropertySizeText(1024), "1.00 KB");
  EXPECT_EQ(PropertySizeText(0), "0 B");
  EXPECT_EQ(PropertySizeText(5ull << 30), "5120.00 MB");  // all 64 bits
  EXPECT_EQ(PropertyBitrateText(512000 + 512000), "1024.000 kbps");
  EXPECT_EQ(PropertyBitrateText(0), "0.000 kbps");
  EXPECT_EQ(PropertyDurationText(3725), "01:02:05");
  EXPECT_EQ(PropertyDurationText(0), "00:00:00");
  EXPECT_EQ(PropertyResolutionText(704, 576), "704 X 576 ");
  EXPECT_EQ(PropertyFrameRateText(25), "25 fps");
}

struct ProbeOracle {
  bool ok = false;
  int64_t durationUs = 0;
  std::vector<std::array<int, 4>> video;  // width, height, bitrate, framerate
};

ProbeOracle KrvtoolProbe(const std::string& path) {
  ProbeOracle o;
  const krvtest::RunResult r = krvtest::RunShell(krvtest::KrvtoolPath() + " probe " + krvtest::Quote(path));
  if (r.code != 0) return o;
  o.ok = true;
  std::smatch m;
  if (std::regex_search(r.out, m, std::regex("\"duration_us\": (-?[0-9]+)"))) o.durationUs = std::stoll(m[1]);
  const std::regex entry(
      "\\{\"width\": ([0-9]+), \"height\": ([0-9]+), \"bitrate\": ([0-9]+), \"framerate\": ([0-9]+)\\}");
  for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), entry); it != std::sregex_iterator(); ++it)
    o.video.push_back({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3]), std::stoi((*it)[4])});
  return o;
}

std::string Printf(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

class PropertyWindowTest : public WindowFixture {
 protected:
  PropertyWindowTest() { noWindow_ = true; }
  // A right-click on a row (the list has the focus), then "Property".
  void ShowPropertyOf(int row) {
    controls::CColorListCtrl* list = dlg()->list();
    QApplication::setActiveWindow(dlg());
    list->setFocus();
    ASSERT_TRUE(list->hasFocus());
    QTreeWidgetItem* item = list->Row(row);
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &e);
    ASSERT_TRUE(WaitUntil([&] { return dlg()->listMenu()->isVisible(); }, 2000));
    QAction* property = dlg()->listMenu()->actions().value(0);
    ASSERT_NE(property, nullptr);
    EXPECT_EQ(property->text(), "Property");
    dlg()->listMenu()->hide();
    property->trigger();
    ASSERT_TRUE(dlg()->fileProperty()->isVisible());
  }
  QString Text(int id) { return dlg()->fileProperty()->Text(id); }
};

TEST_F(PropertyWindowTest, PropertiesOfEveryRowMatchKrvtoolProbe) {
  OpenWindow(false);
  EXPECT_FALSE(dlg()->fileProperty()->isVisible());  // made hidden
  ASSERT_EQ(dlg()->OpenFolder(SearchTree()), FolderScanStatus::Ok);
  const RecordList& records = dlg()->records();
  int avi = 0, failed = 0;
  for (std::size_t row = 0; row < records.size(); ++row) {
    const std::string path = records.path(row);
    SCOPED_TRACE(path);
    ShowPropertyOf(static_cast<int>(row));
    const bool isAvi = path.size() > 4 && path.compare(path.size() - 4, 4, ".avi") == 0;
    avi += isAvi;
    EXPECT_EQ(Text(FileProperty::IDC_TYPE), isAvi ? ".avi" : ".krv");
    EXPECT_EQ(Text(FileProperty::IDC_PATH).toStdString(), path);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const std::string sizeText = size >= (1u << 20) ? Printf("%.2f MB", static_cast<float>(size) / 1024.f / 1024.f)
                                 : size >= 1024     ? Printf("%.2f KB", static_cast<float>(size) / 1024.f)
                                                    : std::to_string(size) + " B";
    EXPECT_EQ(Text(FileProperty::IDC_SIZE).toStdString(), sizeText);

    const ProbeOracle probe = KrvtoolProbe(path);
    // Channel c's facts: a KRV file's c-th stream, an AVI file's only
    // stream under its own channel; zeros where the probe failed.
    std::array<std::array<int, 4>, 4> facts{};
    if (isAvi) {
      const int channel = std::stoi(path.substr(path.size() - 6, 2)) - 1;
      if (!probe.video.empty()) facts[channel] = probe.video[0];
    } else {
      for (std::size_t c = 0; c < probe.video.size() && c < 4; ++c) facts[c] = probe.video[c];
    }
    if (!probe.ok || probe.video.empty()) ++failed;
    const int seconds = static_cast<int>(probe.durationUs / 1000000);
    char duration[32];
    std::snprintf(duration, sizeof duration, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    EXPECT_EQ(Text(FileProperty::IDC_DURATION).toStdString(), duration);
    int64_t total = 0;
    for (int c = 0; c < 4; ++c) {
      total += facts[c][2];
      EXPECT_EQ(Text(FileProperty::IDC_RESOLUTION0 + 6 * c).toStdString(),
                std::to_string(facts[c][0]) + " X " + std::to_string(facts[c][1]) + " ")
          << c;
      EXPECT_EQ(Text(FileProperty::IDC_CHBITRATE0 + 6 * c).toStdString(),
                Printf("%.3f kbps", static_cast<float>(facts[c][2]) / 1000.f))
          << c;
      EXPECT_EQ(Text(FileProperty::IDC_FRAMERATE0 + 6 * c).toStdString(), std::to_string(facts[c][3]) + " fps") << c;
    }
    EXPECT_EQ(Text(FileProperty::IDC_BITRATE).toStdString(), Printf("%.3f kbps", static_cast<float>(total) / 1000.f));
    // OK hides it.
    QTest::mouseClick(qobject_cast<QAbstractButton*>(controls::FindControl(dlg()->fileProperty(), FileProperty::IDC_OK)),
                      Qt::LeftButton);
    EXPECT_FALSE(dlg()->fileProperty()->isVisible());
  }
  EXPECT_EQ(avi, 7);
  EXPECT_EQ(failed, 2);  // the two files of junk/
}

// The scan keeps no size: the dialog reads the file's size when its row is
// clicked, so it shows the file as it is then.
TEST_F(PropertyWindowTest, PropertySizeIsTheFilesWhenTheRowIsClicked) {
  OpenWindow(false);
  const std::string folder = *dir_ / "sizes";
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/20140315083000_1000.krv";
  test::WriteFile(path, std::string(1000, 'x'));
  ASSERT_EQ(dlg()->OpenFolder(folder), FolderScanStatus::Ok);
  ASSERT_EQ(dlg()->records().size(), 1u);
  ShowPropertyOf(0);
  EXPECT_EQ(Text(FileProperty::IDC_SIZE), "1000 B");
  EXPECT_EQ(Text(FileProperty::IDC_DURATION), "00:00:00");
  ASSERT_EQ(::truncate(path.c_str(), 2 << 20), 0);
  ShowPropertyOf(0);
  EXPECT_EQ(Text(FileProperty::IDC_SIZE), "2.00 MB");
  ASSERT_EQ(::unlink(path.c_str()), 0);
  ShowPropertyOf(0);
  EXPECT_EQ(Text(FileProperty::IDC_SIZE), "0 B") << "gone";
  EXPECT_EQ(Text(FileProperty::IDC_PATH).toStdString(), path);
}

TEST_F(PropertyWindowTest, PropertyTypeIsTheClickedRowsWhileTheOtherKindPlays) {
  OpenWindow(false);
  ASSERT_EQ(dlg()->OpenFolder(SearchTree() + "/synth"), FolderScanStatus::Ok);
  const RecordList& records = dlg()->records();
  int krvRow = -1, aviRow = -1;
  for (std::size_t r = 0; r < records.size(); ++r) {
    if (records.info(r)->channel < 0 && krvRow < 0) krvRow = static_cast<int>(r);
    if (records.info(r)->channel == 2 && aviRow < 0) aviRow = static_cast<int>(r);
  }
  ASSERT_GE(krvRow, 0);
  ASSERT_GE(aviRow, 0);
  DoubleClickRow(krvRow);
  ASSERT_TRUE(WaitUntil([&] { return dlg()->readers()->KrvRunning(); }, 3000));
  ShowPropertyOf(aviRow);
  EXPECT_EQ(Text(FileProperty::IDC_TYPE), ".avi");
  // The AVI file's facts under its own channel (3), the others 0.
  EXPECT_EQ(Text(FileProperty::IDC_RESOLUTION0 + 6 * 2), "176 X 144 ");
  EXPECT_EQ(Text(FileProperty::IDC_RESOLUTION0), "0 X 0 ");
  EXPECT_EQ(Text(FileProperty::IDC_FRAMERATE0), "0 fps");
  DoubleClickRow(aviRow);
  ASSERT_TRUE(WaitUntil([&] { return dlg()->readers()->AviRunning(); }, 3000));
  ShowPropertyOf(krvRow);
  EXPECT_EQ(Text(FileProperty::IDC_TYPE), ".krv");
}

}  // namespace
}  // namespace corvane::uitest
