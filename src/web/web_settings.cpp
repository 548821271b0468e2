#include "web/web_settings.h"

#include <QDir>
#include <QHostAddress>
#include <QNetworkInterface>
#include <string>

namespace web {

WebSettings readWebSettings(const std::function<QString(const QString& key)>& setting,
                            const QString& programFolder) {
    WebSettings s;
    const QString port = setting(QStringLiteral("WebPort")).trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        const uint value = port.toUInt(&ok);
        if (ok && value >= 1 && value <= 65535)
            s.port = quint16(value);
        else
            s.problems << QStringLiteral("WebPort=%1 is not a port (1 to 65535): the run's page "
                                         "is off.")
                              .arg(port);
    }
    const QString address = setting(QStringLiteral("WebAddress")).trimmed();
    if (!address.isEmpty()) {
        if (QHostAddress(address).isNull()) {
            s.problems << QStringLiteral("WebAddress=%1 is not an IP address (127.0.0.1, 0.0.0.0, "
                                         "or an address of this computer): the run's page is off.")
                              .arg(address);
            s.port.reset();
        } else {
            s.address = address;
        }
    }
    const QDir folder(programFolder);
    const QString certificate = setting(QStringLiteral("WebCertificate")).trimmed();
    const QString key = setting(QStringLiteral("WebKey")).trimmed();
    if (certificate.isEmpty() != key.isEmpty()) {
        s.problems << QStringLiteral("WebCertificate= and WebKey= go together: the run's page is "
                                     "off.");
        s.port.reset();
    } else if (!certificate.isEmpty()) {
        s.certificate = folder.absoluteFilePath(certificate);
        s.key = folder.absoluteFilePath(key);
    }
    s.onEvent = setting(QStringLiteral("OnEvent")).trimmed();
    return s;
}

QString pageLink(const QString& address, quint16 port, bool tls, const std::string& key) {
    QHostAddress host(address);
    if (host == QHostAddress::AnyIPv4 || host == QHostAddress::AnyIPv6 ||
        host == QHostAddress::Any) {
        host = QHostAddress::LocalHost;
        for (const QHostAddress& candidate : QNetworkInterface::allAddresses())
            if (!candidate.isLoopback() && candidate.protocol() == QHostAddress::IPv4Protocol &&
                !candidate.isLinkLocal()) {
                host = candidate;
                break;
            }
    }
    const QString hostText = host.protocol() == QHostAddress::IPv6Protocol
                                 ? QStringLiteral("[%1]").arg(host.toString())
                                 : host.toString();
    return QStringLiteral("%1://%2:%3/?key=%4")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"), hostText)
        .arg(port)
        .arg(QString::fromStdString(key));
}

} // namespace web
