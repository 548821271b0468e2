#pragma once

#include "web/wrong_keys.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <memory>

namespace web {

class LatestJpeg;
class StatusBoard;
class WebKey;

struct WebServerOptions {
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = 0; // 0: any free one (tests)
    // TLS when both are given (PEM).
    QByteArray certificatePem;
    QByteArray keyPem;
    unsigned connectionLimit = 100;                 // at once, in all
    unsigned perAddressLimit = 60;                  // at once, from one address
    std::chrono::milliseconds requestLimit{10'000}; // to receive one request
    unsigned idleSeconds = 30;                      // a connection that does nothing is closed
    std::size_t headerBytes = 16 * 1024;            // a request's headers, at most
    WrongKeyLimits wrongKeys;
};

// The run's page, /status.json and /latest.jpg, read-only, on threads of its own (one for each
// connection, within the limits); it reads the status board and never calls into the window.
class WebServer {
public:
    WebServer(const StatusBoard& board, const WebKey& key, LatestJpeg& latest,
              WebServerOptions options);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // False, with `error` saying why (a port in use, an address not of this computer, a
    // certificate that does not load).
    bool start(QString* error);
    void stop();
    quint16 port() const;
    bool tls() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace web
