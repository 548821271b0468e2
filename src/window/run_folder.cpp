#include "window/run_folder.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace window {

QString runFolderName(const QDateTime& moment, const QLocale& locale) {
    const QDate date = moment.date();
    const QTime time = moment.time();
    QString month = locale.monthName(date.month(), QLocale::ShortFormat);
    month.replace(QLatin1Char('/'), QLatin1Char('-')).replace(QLatin1Char('\\'), QLatin1Char('-'));
    return QStringLiteral("%1%2%3-%4%5%6")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(month)
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}

QString createRunFolder(const QString& picturesDir, const QString& name, QString* error) {
    if (!QDir().mkpath(picturesDir)) {
        *error = QStringLiteral("The folder \"%1\" could not be created.")
                     .arg(QDir::toNativeSeparators(picturesDir));
        return {};
    }
    // mkdir() itself says whether the name was taken, so two programs starting runs in the same
    // second cannot both get the same folder.
    for (int suffix = 1; suffix < 1000; ++suffix) {
        const QString candidate =
            suffix == 1 ? name : QStringLiteral("%1-%2").arg(name).arg(suffix);
        const QByteArray path = QFile::encodeName(picturesDir + QLatin1Char('/') + candidate);
        if (::mkdir(path.constData(), 0777) == 0) return candidate;
        if (errno != EEXIST) {
            *error = QStringLiteral("The folder \"%1\" could not be created: %2.")
                         .arg(QDir::toNativeSeparators(QFile::decodeName(path)),
                              QString::fromLocal8Bit(std::strerror(errno)));
            return {};
        }
    }
    *error = QStringLiteral("No free name for a run folder \"%1\" in \"%2\".")
                 .arg(name, QDir::toNativeSeparators(picturesDir));
    return {};
}

} // namespace window
