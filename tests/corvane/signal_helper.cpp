// The program as `corvane` runs it (CCorvaneApp::Run with its signal
// handling), driven from inside for the signal tests: once the list is
// filled it changes the audio channel (a setting written at close), opens
// the first recording and prints "playing" when its pictures show. After
// the window closed it prints how many of the program's own threads are
// still alive. With --stall-close the window's close hangs (to show that a
// second signal ends the program at once).
#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <thread>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "thread_count.h"
#include "ui/app.h"
#include "ui/main_dlg.h"
#include "ui/video_layout.h"
#include "ui/video_surface.h"

namespace {


// Hangs the close of the window it filters.
class StallClose : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close) {
      std::printf("closing-stalled\n");
      std::fflush(stdout);
      std::this_thread::sleep_for(std::chrono::seconds(60));
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  using corvane::CCorvaneDlg;
  // As in the window tests: Mesa's driver stays loaded until the leak check,
  // which otherwise cannot name the driver's own allocations.
  for (const char* driver : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
                             "/usr/lib/x86_64-linux-gnu/dri/kms_swrast_dri.so"}) {
    if (::access(driver, R_OK) == 0) ::dlopen(driver, RTLD_LAZY | RTLD_NODELETE);
  }
  const bool stall = argc > 2 && std::strcmp(argv[2], "--stall-close") == 0;
  int rc = corvane::CCorvaneApp().Run(argc, argv, [stall](CCorvaneDlg& window) {
    if (stall) window.installEventFilter(new StallClose(&window));
    auto* timer = new QTimer(&window);
    auto stage = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, &window, [&window, timer, stage] {
      if (*stage == 0 && !window.scanning() && window.list()->RowCount() > 0) {
        window.videoLayout()->SetAudioChannel(2);
        window.OpenRow(0);
        *stage = 1;
      } else if (*stage == 1 && window.videoLayout()->paneOf(0)->surface()->PictureCount() > 2) {
        std::printf("playing\n");
        std::fflush(stdout);
        timer->stop();
      }
    });
    timer->start(20);
  });
  std::printf("threads-left %d\n", corvane::uitest::OwnThreadCount());
  std::fflush(stdout);
  return rc;
}
