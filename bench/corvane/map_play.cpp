// bench_map_play FOLDER [--seconds N] [--no-map] [--screenshot FILE.png]:
// the real window with its map shown (or never shown, --no-map) plays the
// first recording of FOLDER at x1 for N seconds (default 20) and reports, as
// one JSON line: the time from opening the row to the first marker on the
// page, the CPU time per second of the program and of its web engine
// processes, and their memory (proportional set size) at the end. Tiles come
// from a server on 127.0.0.1 started here, so nothing leaves the machine.
// Run it under X (xvfb-run) with QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox
// --disable-gpu"; compare the two runs.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/language.h"
#include "core/settings.h"
#include "ui/map_dlg.h"
#include "ui/main_dlg.h"

namespace {

void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The process and its descendants (the web engine's processes).
std::vector<int> ProcessTree() {
  std::vector<int> tree = {static_cast<int>(::getpid())};
  bool grew = true;
  while (grew) {
    grew = false;
    DIR* d = opendir("/proc");
    if (!d) break;
    while (dirent* e = readdir(d)) {
      const int pid = std::atoi(e->d_name);
      if (pid <= 0) continue;
      bool known = false;
      for (int p : tree) known |= p == pid;
      if (known) continue;
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      const size_t close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      std::string state;
      int ppid = 0;
      rest >> state >> ppid;
      for (int p : tree) {
        if (p == ppid) {
          tree.push_back(pid);
          grew = true;
          break;
        }
      }
    }
    closedir(d);
  }
  return tree;
}

// utime + stime in seconds of one process.
double CpuOf(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream rest(line.substr(close + 2));
  std::string field;
  double utime = 0, stime = 0;
  for (int i = 3; i <= 15; ++i) {
    rest >> field;
    if (i == 14) utime = std::atof(field.c_str());
    if (i == 15) stime = std::atof(field.c_str());
  }
  return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Proportional set size in MiB.
double PssMiB(int pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/smaps_rollup");
  std::string key;
  double kb = 0;
  while (f >> key) {
    if (key == "Pss:") {
      f >> kb;
      break;
    }
    std::string skip;
    std::getline(f, skip);
  }
  return kb / 1024.0;
}

double CpuSelf() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  std::string folder, screenshot;
  int seconds = 20;
  bool map = true;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--no-map")) map = false;
    else if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc) screenshot = argv[++i];
    else folder = argv[i];
  }
  if (folder.empty() || seconds <= 0) {
    std::fprintf(stderr, "usage: bench_map_play FOLDER [--seconds N] [--no-map] [--screenshot FILE.png]\n");
    return 2;
  }
  // Local tiles.
  QByteArray png;
  {
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(0xF2, 0xEF, 0xE9));
    QPainter p(&tile);
    p.setPen(QColor(0xC8, 0xC4, 0xBC));
    for (int i = 0; i < 256; i += 64) {
      p.drawLine(i, 0, i, 255);
      p.drawLine(0, i, 255, i);
    }
    p.end();
    QBuffer b(&png);
    b.open(QIODevice::WriteOnly);
    tile.save(&b, "PNG");
  }
  QTcpServer server;
  server.listen(QHostAddress::LocalHost, 0);
  QObject::connect(&server, &QTcpServer::newConnection, [&] {
    while (QTcpSocket* s = server.nextPendingConnection()) {
      QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      QObject::connect(s, &QTcpSocket::readyRead, s, [s, &png] {
        if (!s->canReadLine()) return;
        s->readAll();
        s->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: " +
                 QByteArray::number(png.size()) + "\r\n\r\n" + png);
        s->disconnectFromHost();
      });
    }
  });
  const std::string tiles = "http://127.0.0.1:" + std::to_string(server.serverPort()) + "/{z}/{x}/{y}.png";

  QTemporaryDir scratch;
  const std::string dir = scratch.path().toStdString() + "/";
  corvane::SetAppPaths(corvane::ComputeAppPaths(dir, dir + "config"));
  corvane::EnsureSettingsFile();
  corvane::SelectLanguage("");
  corvane::SetSettingString(corvane::kSectionBrightmere, corvane::kKeyFolderName, folder);
  for (const char* key : {corvane::kKeyRoadTiles, corvane::kKeySatelliteTiles, corvane::kKeyHybridTiles})
    corvane::SetSettingString(corvane::kSectionMap, key, tiles);

  corvane::CCorvaneDlg window;
  window.resize(1280, 900);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  QElapsedTimer waited;
  waited.start();
  while ((window.scanning() || window.list()->RowCount() == 0) && waited.elapsed() < 60000) RunFor(20);
  if (window.list()->RowCount() == 0) {
    std::fprintf(stderr, "bench_map_play: no recording in %s\n", folder.c_str());
    return 1;
  }
  if (map) {
    window.OnMap();
    waited.restart();
    while (!window.mapDlg()->PageReady() && waited.elapsed() < 30000) RunFor(10);
    if (!window.mapDlg()->PageReady()) {
      std::fprintf(stderr, "bench_map_play: the map page did not load\n");
      return 1;
    }
  }
  QElapsedTimer opened;
  opened.start();
  window.OpenRow(0);
  double firstMarkerMs = -1;
  if (map) {
    bool done = false;
    while (!done && opened.elapsed() < 20000) {
      bool answered = false;
      window.mapDlg()->view()->page()->runJavaScript("Object.keys(JSON.parse(corvanePageState()).markers).length",
                                                     [&](const QVariant& v) {
                                                       answered = true;
                                                       if (v.toInt() > 0) done = true;
                                                     });
      while (!answered && opened.elapsed() < 20000) RunFor(2);
    }
    if (done) firstMarkerMs = opened.nsecsElapsed() / 1e6;
  }
  if (opened.elapsed() < 2000) RunFor(static_cast<int>(2000 - opened.elapsed()));
  std::vector<int> tree = ProcessTree();
  double others0 = 0;
  for (size_t i = 1; i < tree.size(); ++i) others0 += CpuOf(tree[i]);
  const double self0 = CpuSelf();
  QElapsedTimer wall;
  wall.start();
  RunFor(seconds * 1000);
  const double elapsed = wall.elapsed() / 1000.0;
  const double self = CpuSelf() - self0;
  tree = ProcessTree();
  double others = 0, pssOthers = 0;
  for (size_t i = 1; i < tree.size(); ++i) {
    others += CpuOf(tree[i]);
    pssOthers += PssMiB(tree[i]);
  }
  others -= others0;
  const double pssSelf = PssMiB(tree[0]);
  if (!screenshot.empty()) window.grab().save(QString::fromStdString(screenshot));
  std::printf("{\"map\": %s, \"first_marker_ms\": %.1f, \"seconds\": %.2f, \"cpu_per_second_program\": %.3f, "
              "\"cpu_per_second_web_processes\": %.3f, \"pss_mib_program\": %.1f, \"pss_mib_web_processes\": %.1f, "
              "\"processes\": %zu}\n",
              map ? "true" : "false", firstMarkerMs, elapsed, self / elapsed, others / elapsed, pssSelf, pssOthers,
              tree.size());
  window.OnClose();
  return 0;
}
