#pragma once
// TMetricsServer: the HTTP side of the metrics endpoints, over Qt HttpServer. Qt's server runs
// on the thread's own event loop, the loop that the engine's sessions and their SNMP sockets
// already run on, so a scrape reads a session's snapshot, and an exporter's scrape waits for
// its polls, without a lock or a hand-over between threads; its request parser is Qt's (from
// Node's http_parser), not ours. A path that is not routed gets 404 with a one-line reason.
// Answers are gzip-compressed when the client accepts it. An answer given later (after a poll)
// goes through a TReply, which drops it when the client has gone meanwhile: Qt deletes a
// closed connection's socket, and its responder would write to freed memory.
// Thread: the thread that created it, which runs an event loop.

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;

namespace kestrava {

// An address to listen on: "127.0.0.1:9116", "[::1]:9116", "localhost:9116", ":9116" (every
// address). False, with why, for anything else.
struct TListenAddress {
  QString Host;  // "" every address
  int Port = 0;
};
bool ParseListenAddress(const std::string& text, TListenAddress& out, std::string& error);

// The way back to one request's client; copies share it, and it answers once.
class TReply {
 public:
  TReply(std::shared_ptr<QHttpServerResponder> responder, QTcpSocket* socket, bool gzip);
  // Answers with body (gzip when the request accepted it); nothing when the client has gone or
  // the request was answered already.
  void Send(int status, const QByteArray& body, const QByteArray& contentType) const;
  bool ClientGone() const { return m_socket.isNull(); }

 private:
  std::shared_ptr<QHttpServerResponder> m_responder;
  QPointer<QTcpSocket> m_socket;
  bool m_gzip;
};

class THttpServer;

class TMetricsServer {
 public:
  using THandler = std::function<void(const QHttpServerRequest&, const TReply&)>;

  TMetricsServer();
  ~TMetricsServer();
  TMetricsServer(const TMetricsServer&) = delete;
  TMetricsServer& operator=(const TMetricsServer&) = delete;

  // Routes GET of exactly `path` (the query aside) to handler; before Listen.
  void Route(const QString& path, THandler handler);
  // Starts listening; "" or why not (an address in use, a name that does not resolve).
  std::string Listen(const TListenAddress& address);
  int Port() const { return m_port; }

  // The Prometheus text format's content type.
  static const QByteArray kTextFormat;

 private:
  std::unique_ptr<THttpServer> m_server;
  int m_port = 0;
};

// body as a gzip member (RFC 1952).
QByteArray Gzip(const QByteArray& body);
// Whether an Accept-Encoding value takes gzip (and does not refuse it with q=0).
bool AcceptsGzip(const QByteArray& acceptEncoding);

}  // namespace kestrava
