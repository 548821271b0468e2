#include "runs/run_names.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace runs {

namespace {

QString repeatedName(const QString& name, int repeat) {
    return repeat == 1 ? name : QStringLiteral("%1-%2").arg(name).arg(repeat);
}

// The run folder's name: day, the locale's short month name, year, then the time.
const QString RunFolderFormat = QStringLiteral("ddMMMyyyy-hhmmss");

// The moment a run folder's name gives in the program's locale or in English, so that folders
// made under another locale still read; invalid for a name of another form.
QDateTime nameMoment(const QString& name, const QLocale& locale) {
    for (const QLocale& l : {locale, QLocale(QLocale::English, QLocale::UnitedStates)}) {
        const QDateTime moment = l.toDateTime(name, RunFolderFormat);
        if (moment.isValid()) return moment;
    }
    return {};
}

} // namespace

QString runFolderName(const QDateTime& moment, const QLocale& locale) {
    // Only a month name can hold a path separator.
    QString name = locale.toString(moment, RunFolderFormat);
    return name.replace(QLatin1Char('/'), QLatin1Char('-'))
        .replace(QLatin1Char('\\'), QLatin1Char('-'));
}

QString createRunFolder(const QString& picturesDir, const QString& name, QString* error) {
    if (!QDir().mkpath(picturesDir)) {
        *error = QStringLiteral("The folder \"%1\" could not be created.")
                     .arg(QDir::toNativeSeparators(picturesDir));
        return {};
    }
    // mkdir() itself says whether the name was taken, so two programs starting runs in the same
    // second cannot both get the same folder.
    for (int repeat = 1; repeat < 1000; ++repeat) {
        const QString candidate = repeatedName(name, repeat);
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

std::optional<RunStart> readRunFolderName(const QString& name, const QLocale& locale) {
    if (const QDateTime moment = nameMoment(name, locale); moment.isValid())
        return RunStart{moment, 1};
    static const QRegularExpression repeated(QStringLiteral("^(.+)-([0-9]{1,9})$"));
    const auto match = repeated.match(name);
    if (!match.hasMatch()) return std::nullopt;
    if (const QDateTime moment = nameMoment(match.captured(1), locale); moment.isValid())
        return RunStart{moment, match.captured(2).toInt()};
    return std::nullopt;
}

QStringList pictureExtensions() {
    return {QStringLiteral("bmp"), QStringLiteral("png"), QStringLiteral("jpg")};
}

QString pictureFileName(qint64 number, const QString& extension) {
    return QStringLiteral("Picture %1.%2").arg(number).arg(extension);
}

QString findPictureFile(const QString& folder, qint64 number) {
    for (const QString& extension : pictureExtensions()) {
        const QString name = pictureFileName(number, extension);
        if (QFileInfo(QDir(folder), name).isFile()) return name;
    }
    return {};
}

qint64 pictureNumber(const QString& fileName) {
    static const QRegularExpression form(QStringLiteral("^Picture ([1-9][0-9]{0,9})\\.(?:%1)$")
                                             .arg(pictureExtensions().join(QLatin1Char('|'))));
    const auto match = form.match(fileName);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

} // namespace runs
