#include "secrets/masked_text.h"

#include <QRegularExpression>

namespace secrets {

QString masked(const QString& text) {
    // scheme://user:password@ ; the password runs up to the last '@' before the host, since a
    // password may itself hold an '@' (no '/', space or quote, which would end the address).
    static const QRegularExpression Credentials(
        QStringLiteral("([A-Za-z][A-Za-z0-9+.-]*://[^:/@\\s\"']*):[^/\\s\"']*@"));
    if (!text.contains(QLatin1String("://"))) return text; // no address, nothing to hide
    QString out = text;
    out.replace(Credentials, QStringLiteral("\\1:***@"));
    return out;
}

} // namespace secrets
