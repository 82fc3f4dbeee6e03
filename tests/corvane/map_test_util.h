// Helpers of the map tests: a tile server on 127.0.0.1 (port 0) serving
// generated tiles, a request interceptor that notes every URL that is not
// ours or that server's, the [Map] keys pointed at the server, and script
// results read back from a page.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>
#include <QTcpServer>
#include <QVariant>
#include <QWebEngineUrlRequestInterceptor>
#include <atomic>
#include <mutex>

class QWebEngineView;

namespace corvane::uitest {

class TileServer : public QObject {
 public:
  TileServer();
  quint16 port() const { return server_.serverPort(); }
  QString Template() const;  // http://127.0.0.1:PORT/{z}/{x}/{y}.png
  int Requests() const { return requests_.load(); }

 private:
  QTcpServer server_;
  QByteArray png_;
  std::atomic<int> requests_{0};
};

// Installed on the default profile for the life of the object.
class OnlyLocalRequests : public QWebEngineUrlRequestInterceptor {
 public:
  explicit OnlyLocalRequests(quint16 port);
  ~OnlyLocalRequests() override;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;
  QStringList Foreign() const;

 private:
  quint16 port_;
  mutable std::mutex mutex_;
  QStringList foreign_;  // guarded by mutex_
};

// Points the [Map] tile keys of the current settings at the server.
void UseLocalTiles(const TileServer& tiles, int roadGcj = 0);

// Runs script in the page and waits for its result (invalid on time-out).
QVariant RunJs(QWebEngineView* view, const QString& script, int timeoutMs = 10000);
// The page's own account of what it shows (corvanePageState()).
QJsonObject PageState(QWebEngineView* view);

}  // namespace corvane::uitest
