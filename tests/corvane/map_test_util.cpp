#include "map_test_util.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QPainter>
#include <QTcpSocket>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineView>
#include <memory>

#include "core/settings.h"
#include "ui/map_dlg.h"
#include "ui_test_util.h"

namespace corvane::uitest {

TileServer::TileServer() {
  QImage tile(256, 256, QImage::Format_RGB32);
  tile.fill(QColor(0xEE, 0xEA, 0xD8));
  QPainter p(&tile);
  p.setPen(QColor(0xB0, 0xB0, 0xB0));
  p.drawRect(0, 0, 255, 255);
  p.end();
  QBuffer buffer(&png_);
  buffer.open(QIODevice::WriteOnly);
  tile.save(&buffer, "PNG");
  server_.listen(QHostAddress::LocalHost, 0);
  QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
      QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
      QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
        if (!s->canReadLine()) return;
        s->readAll();
        ++requests_;
        QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nAccess-Control-Allow-Origin: *\r\n"
                           "Connection: close\r\nContent-Length: " +
                           QByteArray::number(png_.size()) + "\r\n\r\n" + png_;
        s->write(reply);
        s->disconnectFromHost();
      });
    }
  });
}

QString TileServer::Template() const {
  return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(port());
}

OnlyLocalRequests::OnlyLocalRequests(quint16 port) : port_(port) {
  QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(this);
}

OnlyLocalRequests::~OnlyLocalRequests() { QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(nullptr); }

void OnlyLocalRequests::interceptRequest(QWebEngineUrlRequestInfo& info) {
  const QUrl url = info.requestUrl();
  const QString scheme = url.scheme();
  if (scheme == "qrc" || scheme == "data" || scheme == "about") return;
  if (scheme == "http" && url.host() == "127.0.0.1" && url.port() == port_) return;
  info.block(true);
  std::lock_guard<std::mutex> lock(mutex_);
  foreign_ << url.toString();
}

QStringList OnlyLocalRequests::Foreign() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return foreign_;
}

void UseLocalTiles(const TileServer& tiles, int roadGcj) {
  const std::string t = tiles.Template().toStdString();
  SetSettingString(kSectionMap, kKeyRoadTiles, t);
  SetSettingString(kSectionMap, kKeySatelliteTiles, t + "?satellite");
  SetSettingString(kSectionMap, kKeyHybridTiles, t + "?labels");
  SetSettingInt(kSectionMap, kKeyRoadTilesGcj, roadGcj);
}

QVariant RunJs(QWebEngineView* view, const QString& script, int timeoutMs) {
  auto result = std::make_shared<QVariant>();
  auto done = std::make_shared<bool>(false);
  view->page()->runJavaScript(script, [result, done](const QVariant& v) {
    *result = v;
    *done = true;
  });
  WaitUntil([&] { return *done; }, timeoutMs);
  return *result;
}

QJsonObject PageState(QWebEngineView* view) {
  return QJsonDocument::fromJson(RunJs(view, QStringLiteral("corvanePageState()")).toString().toUtf8()).object();
}

}  // namespace corvane::uitest
