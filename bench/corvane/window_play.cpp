// bench_window_play FOLDER [--seconds N] [--software] [--idle]: the real
// window plays the first recording of FOLDER for N seconds (default 10) and
// reports, as one JSON line, the time from opening the row to a picture in
// every pane, the process's CPU time per second of playing and the pictures
// each pane drew per second. With --idle it plays nothing and reports the
// CPU of the window showing the list with its panes blanked. Run it under X (xvfb-run); compare
// the OpenGL surfaces with the software ones (--software). Settings go to a
// scratch folder.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/language.h"
#include "core/settings.h"
#include "ui/main_dlg.h"
#include "ui/video_layout.h"
#include "ui/video_surface.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `ms` milliseconds, sleeping while there is
// nothing to do (a loop of processEvents calls would spin and count its own
// spinning as the window's CPU).
void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::string folder;
  int seconds = 10;
  bool software = false;
  bool idle = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--software")) software = true;
    else if (!std::strcmp(argv[i], "--idle")) idle = true;
    else folder = argv[i];
  }
  if (folder.empty() || seconds <= 0) {
    std::fprintf(stderr, "usage: bench_window_play FOLDER [--seconds N] [--software] [--idle]\n");
    return 2;
  }
  QTemporaryDir scratch;
  const std::string dir = scratch.path().toStdString() + "/";
  corvane::SetAppPaths(corvane::ComputeAppPaths(dir, dir + "config"));
  corvane::EnsureSettingsFile();
  corvane::SelectLanguage("");
  corvane::SetSettingString(corvane::kSectionBrightmere, corvane::kKeyFolderName, folder);

  corvane::CCorvaneDlg::Options options;
  options.allowOpenGL = !software;
  int rc = 0;
  {
    corvane::CCorvaneDlg window(options);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    QElapsedTimer waited;
    waited.start();
    while ((window.scanning() || window.list()->RowCount() == 0) && waited.elapsed() < 60000) RunFor(20);
    if (window.list()->RowCount() == 0) {
      std::fprintf(stderr, "bench_window_play: no recording in %s\n", folder.c_str());
      return 1;
    }
    if (idle) {
      // The list shown, nothing played: the panes blank after 4 s; then the
      // CPU of the window standing still.
      RunFor(5000);
      const double cpu0 = CpuSeconds();
      QElapsedTimer wall;
      wall.start();
      RunFor(seconds * 1000);
      const double elapsed = wall.elapsed() / 1000.0;
      std::printf("{\"surfaces\": \"%s\", \"idle_seconds\": %.2f, \"cpu_per_second\": %.4f}\n",
                  corvane::CurrentSurfaceKind() == corvane::SurfaceKind::kOpenGL ? "OpenGL" : "software", elapsed,
                  (CpuSeconds() - cpu0) / elapsed);
      window.OnClose();
      return 0;
    }
    // From the row's opening (a double-click calls OpenRow) to a picture in
    // every pane.
    QElapsedTimer opened;
    opened.start();
    window.OpenRow(0);
    auto allPanesHavePictures = [&] {
      for (int c = 0; c < 4; ++c)
        if (window.videoLayout()->paneOf(c)->surface()->PictureCount() == 0) return false;
      return true;
    };
    while (!allPanesHavePictures() && opened.elapsed() < 10000) RunFor(1);
    const double firstPicturesMs = opened.nsecsElapsed() / 1e6;
    if (opened.elapsed() < 1500) RunFor(static_cast<int>(1500 - opened.elapsed()));  // decoders warm
    uint64_t painted[4], pictures[4];
    for (int c = 0; c < 4; ++c) {
      painted[c] = window.videoLayout()->paneOf(c)->surface()->PaintedGeneration();
      pictures[c] = window.videoLayout()->paneOf(c)->surface()->PictureCount();
    }
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    RunFor(seconds * 1000);
    const double elapsed = wall.elapsed() / 1000.0;
    const double cpu = CpuSeconds() - cpu0;
    std::printf("{\"surfaces\": \"%s\", \"first_pictures_ms\": %.1f, \"seconds\": %.2f, "
                "\"cpu_per_second\": %.3f, \"painted_per_second\": [",
                corvane::CurrentSurfaceKind() == corvane::SurfaceKind::kOpenGL ? "OpenGL" : "software",
                firstPicturesMs, elapsed, cpu / elapsed);
    for (int c = 0; c < 4; ++c)
      std::printf("%s%.1f", c ? ", " : "",
                  (window.videoLayout()->paneOf(c)->surface()->PaintedGeneration() - painted[c]) / elapsed);
    std::printf("], \"pictures_per_second\": [");
    for (int c = 0; c < 4; ++c)
      std::printf("%s%.1f", c ? ", " : "",
                  (window.videoLayout()->paneOf(c)->surface()->PictureCount() - pictures[c]) / elapsed);
    std::printf("]}\n");
    window.OnClose();
  }
  return rc;
}
