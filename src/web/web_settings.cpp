#include "web/web_settings.h"

#include <QDir>
#include <arpa/inet.h>
#include <cstdint>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>

namespace web {

namespace {

// An address as the server binds it (IPv4 or IPv6 text), in its usual spelling; empty when the
// text is none. `family`: AF_INET or AF_INET6.
QString canonicalAddress(const QString& text, int* family) {
    const QByteArray bytes = text.toLatin1();
    in_addr v4{};
    in6_addr v6{};
    char spelled[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET, bytes.constData(), &v4) == 1) {
        *family = AF_INET;
        ::inet_ntop(AF_INET, &v4, spelled, sizeof spelled);
    } else if (::inet_pton(AF_INET6, bytes.constData(), &v6) == 1) {
        *family = AF_INET6;
        ::inet_ntop(AF_INET6, &v6, spelled, sizeof spelled);
    } else {
        return {};
    }
    return QString::fromLatin1(spelled);
}

// An IPv4 address of this computer that another device on the network can reach (not loopback,
// not link-local, on an interface that is up); empty when there is none.
QString reachableAddress() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    QString found;
    for (const ifaddrs* it = list; it != nullptr && found.isEmpty(); it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET ||
            (it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        const in_addr address = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr;
        const std::uint32_t host = ntohl(address.s_addr);
        if ((host >> 24) == 127 || (host >> 16) == 0xA9FE) continue; // 127/8, 169.254/16
        char spelled[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, spelled, sizeof spelled);
        found = QString::fromLatin1(spelled);
    }
    ::freeifaddrs(list);
    return found;
}

} // namespace

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
        int family = 0;
        if (canonicalAddress(address, &family).isEmpty()) {
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
    int family = AF_INET;
    QString host = canonicalAddress(address, &family);
    // Listening on every address: the link names one a phone on the network can reach.
    if (host.isEmpty() || host == QLatin1String("0.0.0.0") || host == QLatin1String("::")) {
        host = reachableAddress();
        family = AF_INET;
        if (host.isEmpty()) host = QStringLiteral("127.0.0.1");
    }
    const QString hostText = family == AF_INET6 ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1://%2:%3/?key=%4")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"), hostText)
        .arg(port)
        .arg(QString::fromStdString(key));
}

} // namespace web
