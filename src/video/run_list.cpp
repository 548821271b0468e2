#include "video/run_list.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace video {

namespace {

struct Run {
    QString name;
    QDateTime when;
    int repeat = 1; // "-2" for the second run in the same second
};

// The moment a run folder's name gives, in the program's locale or in English; invalid when
// the name has another form.
QDateTime nameTime(const QString& stem, const QLocale& locale) {
    const QString format = QStringLiteral("ddMMMyyyy-hhmmss");
    for (const QLocale& l : {locale, QLocale(QLocale::English, QLocale::UnitedStates)}) {
        const QDateTime when = l.toDateTime(stem, format);
        if (when.isValid()) return when;
    }
    return {};
}

} // namespace

QStringList listRuns(const QString& picturesDir, const QLocale& locale) {
    static const QRegularExpression form(QStringLiteral("^(.*?)(?:-(\\d+))?$"));
    std::vector<Run> runs;
    for (const QFileInfo& info :
         QDir(picturesDir).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        Run run{info.fileName(), info.lastModified(), 1};
        const auto match = form.match(run.name);
        if (QDateTime when = nameTime(match.captured(1), locale); when.isValid()) {
            run.when = when;
            if (match.hasCaptured(2)) run.repeat = match.captured(2).toInt();
        } else if (QDateTime when = nameTime(run.name, locale); when.isValid()) {
            run.when = when;
        }
        runs.push_back(run);
    }
    std::stable_sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
        if (a.when != b.when) return a.when > b.when;
        if (a.repeat != b.repeat) return a.repeat > b.repeat;
        return a.name < b.name;
    });
    QStringList names;
    for (const Run& run : runs)
        names << run.name;
    return names;
}

RunPictures scanRun(const QString& runDir) {
    static const QRegularExpression picture(QStringLiteral("^Picture ([1-9][0-9]{0,9})\\.bmp$"));
    std::vector<std::pair<qint64, QString>> numbered;
    RunPictures result;
    for (const QString& name : QDir(runDir).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        const auto match = picture.match(name);
        if (match.hasMatch())
            numbered.emplace_back(match.captured(1).toLongLong(), name);
        else
            result.foreign << name;
    }
    std::sort(numbered.begin(), numbered.end());
    for (auto& [number, name] : numbered)
        result.pictures << name;
    return result;
}

} // namespace video
