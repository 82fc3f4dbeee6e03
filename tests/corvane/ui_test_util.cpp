#include "ui_test_util.h"

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <QTreeWidgetItem>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "controls/control_id.h"
#include "core/language.h"
#include "core/settings.h"
#include "synth/synth.h"
#include "ui/map_dlg.h"
#include "ui/video_layout.h"

namespace corvane::uitest {

namespace fs = std::filesystem;

const std::vector<DemoFile>& DemoFiles() {
  static const std::vector<DemoFile> files = {
      {"20240301/20240301080000_1000.krv", "20240301080000", "1000", 16, -1},
      {"20240301/20240301090000_0011_01.avi", "20240301090000", "0011", 3, 0},
      {"20240301/20240301090000_0011_02.avi", "20240301090000", "0011", 3, 1},
      {"20240301/20240301090000_0011_03.avi", "20240301090000", "0011", 3, 2},
      {"20240301/20240301090000_0011_04.avi", "20240301090000", "0011", 3, 3},
      {"20240302/20240302100000_0100.krv", "20240302100000", "0100", 3, -1},
      {"20240302/20240302110000_1001.krv", "20240302110000", "1001", 3, -1},
  };
  return files;
}

namespace {

bool WriteDemo(const std::string& dir, std::string* error) {
  uint32_t seed = 7;
  for (const DemoFile& f : DemoFiles()) {
    krvsynth::SynthOptions o;
    o.seconds = f.seconds;
    o.startTime = krvsynth::ParseStartTime(f.start);
    o.width = 176;
    o.height = 144;
    o.fps = 25;
    o.gop = 25;  // a key frame every second
    o.seed = seed++;
    const std::string path = dir + "/" + f.relPath;
    fs::create_directories(fs::path(path).parent_path());
    const bool ok = f.channel < 0 ? krvsynth::WriteKrv(o, path, error) : krvsynth::WriteAviChannel(o, f.channel, path, error);
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::string TestTreeOnce(const std::string& name, const std::function<bool(const std::string& dir)>& write) {
  const char* build = std::getenv("CORVANE_BUILD_DIR");
  const fs::path base = fs::path(build && *build ? build : fs::temp_directory_path().string()) / "test-data";
  const fs::path final = base / name;
  if (fs::exists(final / "done")) return final.string();
  fs::create_directories(base);
  // Made beside and renamed into place, so parallel test processes never
  // see half a tree.
  std::string tmpl = (base / (name + "-tmp-XXXXXX")).string();
  if (!::mkdtemp(tmpl.data())) std::abort();
  if (!write(tmpl)) std::abort();
  std::ofstream(fs::path(tmpl) / "done") << "1";
  std::error_code ec;
  fs::rename(tmpl, final, ec);
  if (ec) fs::remove_all(tmpl, ec);  // another process was first
  return final.string();
}

const std::string& DemoFolder() {
  static const std::string folder = TestTreeOnce("ui-demo-v1", [](const std::string& dir) {
    std::string error;
    if (WriteDemo(dir, &error)) return true;
    ADD_FAILURE() << "demo tree: " << error;
    return false;
  });
  return folder;
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return pred();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void Pump(int ms) {
  WaitUntil([] { return false; }, ms);
}

int64_t ShowRecorder::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

media::ACMovieFilter::ShowObserver ShowRecorder::Observer() {
  return [this](int channel, int64_t dts, const unsigned char*, int, int) {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.push_back({channel, dts, NowMs()});
  };
}

std::vector<ShowRecorder::Shown> ShowRecorder::Since(int64_t atMs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Shown> out;
  for (const Shown& s : shown_)
    if (s.atMs >= atMs) out.push_back(s);
  return out;
}

std::vector<ShowRecorder::Shown> ShowRecorder::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

int ShowRecorder::CountFor(int channel) const {
  std::lock_guard<std::mutex> lock(mutex_);
  int n = 0;
  for (const Shown& s : shown_) n += s.channel == channel;
  return n;
}

void WindowFixture::SetUp() {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X display (run under xvfb-run)";
  dir_ = std::make_unique<test::TempDir>();
  paths_ = std::make_unique<test::ScopedAppPaths>(dir_->path(), dir_->path() + "config");
  EnsureSettingsFile();
  // A map shown by a test never reaches the network: its tiles point at a
  // closed local port unless the test serves them.
  for (const char* key : {kKeyRoadTiles, kKeySatelliteTiles, kKeyHybridTiles})
    SetSettingString(kSectionMap, key, "http://127.0.0.1:9/{z}/{x}/{y}.png");
  SelectLanguage("");
  if (!noWindow_) OpenWindow();
}

void WindowFixture::OpenWindow(bool scanDemo) {
  SetSettingString(kSectionBrightmere, kKeyFolderName, scanDemo ? DemoFolder() : "");
  SetSettingString(kSectionBrightmere, kKeySnapshotPath, dir_->path() + "snap/");
  CCorvaneDlg::Options options;
  options.showObserver = recorder_.Observer();
  options.allowOpenGL = allowOpenGL_;
  options.mixerDevice = mixerDevice_;
  options.exportObserver = exportObserver_;
  dlg_ = std::make_unique<CCorvaneDlg>(options);
  dlg_->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg_.get()));
  dlg_->activateWindow();
  if (scanDemo) {
    ASSERT_TRUE(WaitUntil([&] { return !dlg_->scanning() && dlg_->list()->RowCount() > 0; }, 20000));
  }
}

void WindowFixture::CloseWindow() {
  if (!dlg_) return;
  dlg_->close();
  dlg_.reset();
}

void WindowFixture::TearDown() {
  CloseWindow();
  paths_.reset();
  dir_.reset();
}

controls::CPictureButton* WindowFixture::button(int id) {
  auto* b = qobject_cast<controls::CPictureButton*>(controls::FindControl(dlg_.get(), id));
  EXPECT_NE(b, nullptr) << "no control " << id;
  return b;
}

void WindowFixture::Click(int id) {
  controls::CPictureButton* b = button(id);
  if (b) QTest::mouseClick(b, Qt::LeftButton);
}

void WindowFixture::DoubleClickRow(int row) {
  controls::CColorListCtrl* list = dlg_->list();
  // The window holds the focus, and the list within it (as after a click).
  QApplication::setActiveWindow(dlg_.get());
  list->setFocus();
  ASSERT_TRUE(list->hasFocus());
  QTreeWidgetItem* item = list->Row(row);
  ASSERT_NE(item, nullptr);
  list->scrollToItem(item);
  const QPoint at = list->visualItemRect(item).center();
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

std::vector<QImage> WindowFixture::GrabPanes() {
  std::vector<QImage> out;
  for (int c = 0; c < 4; ++c)
    out.push_back(dlg_->videoLayout()->paneOf(c)->surface()->Widget()->grab().toImage());
  return out;
}

bool WindowFixture::WaitPictures(int pictures, int timeoutMs) {
  return WaitUntil(
      [&] {
        for (int c = 0; c < 4; ++c)
          if (dlg_->videoLayout()->paneOf(c)->surface()->PictureCount() < static_cast<uint64_t>(pictures))
            return false;
        return true;
      },
      timeoutMs);
}

std::string WindowFixture::DemoPath(int row) const { return DemoFolder() + "/" + DemoFiles()[row].relPath; }

}  // namespace corvane::uitest

// The map's web engine (a system library) deletes some objects through a
// base of another size and keeps a few allocations for the life of the
// process; neither is ours to mend.
extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libQt6WebEngineCore\n"; }

// The window tests need a QApplication on the main thread.
int main(int argc, char** argv) {
  // Mesa unloads its driver at exit, before the leak check, which then
  // cannot name the driver's own allocations (see tests/lsan.supp). Keep it
  // loaded for the life of the process.
  for (const char* driver : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
                             "/usr/lib/x86_64-linux-gnu/dri/kms_swrast_dri.so"}) {
    if (::access(driver, R_OK) == 0) ::dlopen(driver, RTLD_LAZY | RTLD_NODELETE);
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    // Listing and skipping still work without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  // The map's web engine: no sandbox (tests may run as root) and no GPU
  // under Xvfb; it shares the window's OpenGL contexts.
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
