#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace web {

// The keys of Config.ini (section MAIN) for looking in from elsewhere. Both features are off
// while their key is missing or empty; a bad value leaves its feature off and a line in
// `problems` naming the key, the value and what is allowed.
struct WebSettings {
    std::optional<quint16> port;                   // WebPort=
    QString address = QStringLiteral("127.0.0.1"); // WebAddress=
    QString certificate;                           // WebCertificate= (a PEM file's path)
    QString key;                                   // WebKey=
    QString onEvent;                               // OnEvent=: a command for /bin/sh -c
    QStringList problems;
};

// `setting` gives a key's value as written (empty when missing); relative paths are taken from
// `programFolder`.
WebSettings readWebSettings(const std::function<QString(const QString& key)>& setting,
                            const QString& programFolder);

// The link to give a phone: the page's address with the key. For an address that listens on
// every interface, one of this computer's addresses on the network.
QString pageLink(const QString& address, quint16 port, bool tls, const std::string& key);

} // namespace web
