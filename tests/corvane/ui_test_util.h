// Helpers of the window tests: the QApplication, a small demo record tree
// made once per build folder, scratch settings, waiting while the event loop
// runs, grabs of the panes and a recorder of the pictures the video filter
// shows.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/ac_movie_filter.h"
#include "test_util.h"
#include "thread_count.h"
#include "ui/main_dlg.h"

namespace corvane::uitest {

// One recording of the demo tree.
struct DemoFile {
  std::string relPath;  // below the demo folder
  std::string start;    // YYYYMMDDhhmmss
  std::string types;    // the four type digits
  int seconds;
  int channel;  // -1 KRV, else the AVI channel 0..3
};
// In list (start) order.
const std::vector<DemoFile>& DemoFiles();
// A tree of test recordings at $CORVANE_BUILD_DIR/test-data/NAME (or under
// the temporary folder), written once by `write` into a folder beside it and
// renamed into place, shared by every test process of the build. Aborts when
// it cannot be made.
std::string TestTreeOnce(const std::string& name, const std::function<bool(const std::string& dir)>& write);
// The demo tree, made on first use.
const std::string& DemoFolder();

// Runs the event loop until pred holds or timeoutMs passed; pred's last value.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs);
// Runs the event loop for ms.
void Pump(int ms);

// Records every picture the video filter shows (display threads).
class ShowRecorder {
 public:
  struct Shown {
    int channel;
    int64_t dts;
    int64_t atMs;  // steady clock
  };
  media::ACMovieFilter::ShowObserver Observer();
  std::vector<Shown> Since(int64_t atMs) const;
  std::vector<Shown> All() const;
  int CountFor(int channel) const;
  static int64_t NowMs();

 private:
  mutable std::mutex mutex_;
  std::vector<Shown> shown_;
};

// A window on scratch settings that name the demo folder, shown and with
// its list filled.
class WindowFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Makes and shows the window (SetUp does it unless noWindow_).
  void OpenWindow(bool scanDemo = true);
  void CloseWindow();

  CCorvaneDlg* dlg() { return dlg_.get(); }
  controls::CPictureButton* button(int id);
  void Click(int id);
  // Double-click on a list row (the list has the focus).
  void DoubleClickRow(int row);
  // Grabs of the four surfaces (channels 0-3).
  std::vector<QImage> GrabPanes();
  // Waits until every pane has drawn at least `pictures` pictures.
  bool WaitPictures(int pictures, int timeoutMs);
  std::string DemoPath(int row) const;

  ShowRecorder recorder_;
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<test::ScopedAppPaths> paths_;
  std::unique_ptr<CCorvaneDlg> dlg_;
  bool noWindow_ = false;
  bool allowOpenGL_ = true;
  // The window's mixer device; none unless a test starts a sound server.
  std::string mixerDevice_;
  // Told of every export percent (reader thread).
  std::function<void(int)> exportObserver_;
};


}  // namespace corvane::uitest
