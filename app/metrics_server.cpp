#include "app/metrics_server.h"

#include <zlib.h>

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHostInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <map>

namespace kestrava {

const QByteArray TMetricsServer::kTextFormat = "text/plain; version=0.0.4; charset=utf-8";

namespace {

// Connections waiting to be accepted (the kernel caps it at net.core.somaxconn).
constexpr int kListenBacklog = 4096;

}  // namespace

bool ParseListenAddress(const std::string& text, TListenAddress& out, std::string& error) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    error = "\"" + text + "\" is not ADDRESS:PORT";
    return false;
  }
  std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  else if (host.find(':') != std::string::npos) {
    error = "\"" + text + "\": an IPv6 address goes in brackets, [::1]:PORT";
    return false;
  }
  bool digits = !port.empty() && port.size() <= 5;
  for (char c : port) digits = digits && c >= '0' && c <= '9';
  const int number = digits ? std::stoi(port) : 0;
  if (number < 1 || number > 65535) {
    error = "\"" + text + "\": the port is not a number in 1..65535";
    return false;
  }
  out.Host = QString::fromStdString(host);
  out.Port = number;
  return true;
}

// Routes by exact path; Qt's own router would hand out responders without their sockets.
class THttpServer : public QAbstractHttpServer {
 public:
  std::map<QString, TMetricsServer::THandler> Routes;

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
    if (request.method() != QHttpServerRequest::Method::Get) return false;
    const auto route = Routes.find(request.url().path());
    if (route == Routes.end()) return false;
    route->second(request, MakeReply(request, socket));
    return true;
  }
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    MakeReply(request, socket)
        .Send(get ? 404 : 405,
              get ? "Unknown path " + request.url().path().toUtf8() + " (GET / lists the paths)\n"
                  : QByteArray("Only GET is served\n"),
              "text/plain; charset=utf-8");
  }

 private:
  static TReply MakeReply(const QHttpServerRequest& request, QTcpSocket* socket) {
    return TReply(std::make_shared<QHttpServerResponder>(makeResponder(request, socket)), socket,
                  AcceptsGzip(request.value("Accept-Encoding")));
  }
};

TReply::TReply(std::shared_ptr<QHttpServerResponder> responder, QTcpSocket* socket, bool gzip)
    : m_responder(std::move(responder)), m_socket(socket), m_gzip(gzip) {}

void TReply::Send(int status, const QByteArray& body, const QByteArray& contentType) const {
  if (m_socket.isNull() || !m_responder) return;
  const auto code = static_cast<QHttpServerResponder::StatusCode>(status);
  if (const QByteArray packed = m_gzip ? Gzip(body) : QByteArray(); !packed.isEmpty()) {
    m_responder->write(packed, {{"Content-Type", contentType}, {"Content-Encoding", "gzip"}}, code);
  } else {
    m_responder->write(body, {{"Content-Type", contentType}}, code);
  }
}

TMetricsServer::TMetricsServer() : m_server(std::make_unique<THttpServer>()) {}

TMetricsServer::~TMetricsServer() = default;

void TMetricsServer::Route(const QString& path, THandler handler) {
  m_server->Routes[path] = std::move(handler);
}

std::string TMetricsServer::Listen(const TListenAddress& where) {
  QHostAddress address = QHostAddress::Any;
  if (!where.Host.isEmpty() && !address.setAddress(where.Host)) {
    // A name: its first address (a server listens where the name points now).
    const QHostInfo info = QHostInfo::fromName(where.Host);
    if (info.addresses().isEmpty()) return "the host " + where.Host.toStdString() + " is not known";
    address = info.addresses().first();
  }
  auto* tcp = new QTcpServer(m_server.get());
  // Prometheus opens a connection per target at each interval, all at once: with Qt's 50, the
  // kernel drops the connections beyond it while the loop is busy, and each comes a second
  // later, when the client sends its SYN again.
  tcp->setListenBacklogSize(kListenBacklog);
  if (!tcp->listen(address, static_cast<quint16>(where.Port))) {
    const std::string why = tcp->errorString().toStdString();
    delete tcp;
    return why;
  }
  m_port = tcp->serverPort();
  m_server->bind(tcp);
  return {};
}

QByteArray Gzip(const QByteArray& body) {
  z_stream stream{};
  // 16 + 15 window bits: a gzip header and trailer around the deflate data.
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return {};
  QByteArray out;
  out.resize(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(body.size()))));
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(static_cast<qsizetype>(stream.total_out));
  deflateEnd(&stream);
  return result == Z_STREAM_END ? out : QByteArray();
}

bool AcceptsGzip(const QByteArray& acceptEncoding) {
  for (const QByteArray& item : acceptEncoding.split(',')) {
    const QList<QByteArray> parts = item.split(';');
    const QByteArray coding = parts.front().trimmed().toLower();
    if (coding != "gzip" && coding != "*") continue;
    bool refused = false;
    for (qsizetype i = 1; i < parts.size(); ++i) {
      const QByteArray parameter = parts[i].trimmed().toLower();
      if (parameter.startsWith("q=")) refused = parameter.mid(2).toDouble() == 0;
    }
    return !refused;
  }
  return false;
}

}  // namespace kestrava
