#include "ui/app.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

#include "core/language.h"
#include "core/settings.h"
#include "ui/main_dlg.h"

namespace corvane {

int CCorvaneApp::Run(int argc, char** argv) {
  QApplication app(argc, argv);
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
    window.show();
    rc = app.exec();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  return rc;
}

}  // namespace corvane
