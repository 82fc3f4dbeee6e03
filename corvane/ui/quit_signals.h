// Ending the program politely on SIGTERM, SIGINT and SIGHUP (a desktop
// session or systemd at logout, Ctrl-C in a terminal, a closed terminal).
//
// The handler only writes the signal's number into a socket pair; a
// QSocketNotifier on the other end brings it to the user-interface thread,
// which closes the window the normal way (pipeline closed, threads joined,
// settings already on disk). A second signal while that runs ends the
// process at once. One instance at a time; the destructor puts the default
// handlers back.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace corvane {

class QuitSignals : public QObject {
  Q_OBJECT
 public:
  explicit QuitSignals(QObject* parent = nullptr);
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  // False when the socket pair or a handler could not be set up (one line
  // on stderr; the program then ends on signals the default way).
  bool ok() const { return ok_; }

 signals:
  // On the user-interface thread, once per signal taken in.
  void Requested(int signalNumber);

 private:
  void Drain();

  int fds_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
  bool ok_ = false;
};

// Closes what the user would close to quit: an open modal dialog (a message
// box, the folder browser, the scan's progress bar, whose close cancels the
// scan) and then the main window, whose close ends the pipeline.
void CloseForQuit(QWidget* mainWindow);

}  // namespace corvane
