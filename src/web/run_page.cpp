#include "web/run_page.h"

#include <QFile>

namespace web {

namespace {

// A PEM file, read whole; GnuTLS checks what is in it when the server starts.
bool readPem(const QString& path, QByteArray* out, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    constexpr qint64 MaxPem = 1 << 20;
    *out = file.read(MaxPem);
    if (out->isEmpty() || !file.atEnd()) {
        *error = QStringLiteral("%1 is not a PEM file").arg(path);
        return false;
    }
    return true;
}

} // namespace

RunPage::RunPage(const QString& programFolder, const WebSettings& settings)
    : programFolder_(programFolder), settings_(settings) {}

bool RunPage::start(QString* error) {
    if (!key_.load(programFolder_ + QStringLiteral("/Web.ini"), error)) return false;
    WebServerOptions options;
    options.address = settings_.address;
    options.port = settings_.port.value_or(0);
    if (!settings_.certificate.isEmpty() &&
        (!readPem(settings_.certificate, &options.certificatePem, error) ||
         !readPem(settings_.key, &options.keyPem, error)))
        return false;
    server_ = std::make_unique<WebServer>(board_, key_, latest_, options);
    QString why;
    if (!server_->start(&why)) {
        *error = QStringLiteral("%1 port %2: %3").arg(settings_.address).arg(options.port).arg(why);
        server_.reset();
        return false;
    }
    return true;
}

QString RunPage::link() const {
    return server_ ? pageLink(settings_.address, server_->port(), server_->tls(), key_.current())
                   : QString();
}

} // namespace web
