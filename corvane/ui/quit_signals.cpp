#include "media/ac_log.h"
#include "ui/quit_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace corvane {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end for the handler, -1 while no instance listens.
std::atomic<int> gWriteFd{-1};
// Signals taken in since the instance was made.
std::atomic<int> gTaken{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs lock-free words");

void OnQuitSignal(int sig) {
  // Closing already runs and the user asks again: end now.
  if (gTaken.fetch_add(1) > 0) ::_exit(128 + sig);
  const int saved = errno;
  const int fd = gWriteFd.load();
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(sig);
    (void)!::write(fd, &byte, 1);
  }
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
    media::LogLine(media::LogLevel::kError, "signals", "no socket pair for signals: %s", std::strerror(errno));
    fds_[0] = fds_[1] = -1;
    return;
  }
  gTaken.store(0);
  gWriteFd.store(fds_[1]);
  notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
  struct sigaction sa {};
  sa.sa_handler = OnQuitSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ok_ = true;
  for (int sig : kSignals) {
    if (::sigaction(sig, &sa, nullptr) != 0) {
      media::LogLine(media::LogLevel::kError, "signals", "cannot take signal %d: %s", sig, std::strerror(errno));
      ok_ = false;
    }
  }
}

QuitSignals::~QuitSignals() {
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  for (int sig : kSignals) ::sigaction(sig, &sa, nullptr);
  gWriteFd.store(-1);
  delete notifier_;
  for (int fd : fds_)
    if (fd >= 0) ::close(fd);
}

void QuitSignals::Drain() {
  unsigned char buf[16];
  ssize_t n;
  while ((n = ::read(fds_[0], buf, sizeof buf)) > 0)
    for (ssize_t i = 0; i < n; ++i) emit Requested(buf[i]);
}

void CloseForQuit(QWidget* mainWindow) {
  // Innermost first: a modal dialog runs its own event loop inside a command
  // of the window.
  for (int i = 0; i < 8; ++i) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == mainWindow) break;
    modal->close();
  }
  if (mainWindow) mainWindow->close();
}

}  // namespace corvane
