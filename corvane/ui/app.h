// The application: prepares the paths and the settings file, chooses the
// language, runs the main window and ends when it closes.
#pragma once

namespace corvane {

class CCorvaneApp {
 public:
  // argv may name a record folder: it is stored as FolderName before the
  // window starts, so the list shows it at once.
  int Run(int argc, char** argv);
};

}  // namespace corvane
