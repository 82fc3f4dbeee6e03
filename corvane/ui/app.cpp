#include "media/ac_log.h"
#include "ui/app.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "core/language.h"
#include "core/settings.h"
#include "ui/main_dlg.h"
#include "ui/quit_signals.h"

namespace corvane {

int CCorvaneApp::Run(int argc, char** argv, const ShownHook& shown) {
  // The map's web view shares the window's OpenGL contexts.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  // Taken before any other thread starts, so the signals come here and not
  // to a library's handler.
  QuitSignals quitSignals;
  app.setApplicationName(QStringLiteral("corvane"));
  // setting.ini beside the executable (or in the user's config folder),
  // written from the default when missing.
  InitAppPaths();
  const QStringList args = app.arguments();
  if (args.size() > 1) {
    const QString folder = QDir(args.at(1)).absolutePath();
    SetSettingString(kSectionBrightmere, kKeyFolderName, folder.toStdString());
  }
  SelectLanguage("");
  int rc = 0;
  {
    CCorvaneDlg window;
    QObject::connect(&quitSignals, &QuitSignals::Requested, &window, [&window](int sig) {
      media::LogLine(media::LogLevel::kError, "signals", "%s, closing", strsignal(sig));
      CloseForQuit(&window);
      QCoreApplication::exit(0);
    });
    window.show();
    if (shown) QTimer::singleShot(0, &window, [&window, &shown] { shown(window); });
    rc = app.exec();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  return rc;
}

}  // namespace corvane
