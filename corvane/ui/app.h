// The application: prepares the paths and the settings file, chooses the
// language, runs the main window and ends when it closes, or on SIGTERM,
// SIGINT or SIGHUP through the window's normal close.
#pragma once

#include <functional>

namespace corvane {

class CCorvaneDlg;

class CCorvaneApp {
 public:
  // Called once the window is shown, on the user-interface thread (programs
  // that drive the window, such as the tests' helper).
  using ShownHook = std::function<void(CCorvaneDlg&)>;

  // argv may name a record folder: it is stored as FolderName before the
  // window starts, so the list shows it at once.
  int Run(int argc, char** argv, const ShownHook& shown = {});
};

}  // namespace corvane
