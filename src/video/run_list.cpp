#include "video/run_list.h"

#include "runs/run_log.h"
#include "runs/run_names.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace video {

QStringList listRuns(const QString& picturesDir, const QLocale& locale) {
    std::vector<std::pair<QString, runs::RunStart>> found;
    for (const QFileInfo& info :
         QDir(picturesDir).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString name = info.fileName();
        found.emplace_back(
            name,
            runs::readRunFolderName(name, locale).value_or(runs::RunStart{info.lastModified(), 1}));
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.second.moment != b.second.moment) return a.second.moment > b.second.moment;
        if (a.second.repeat != b.second.repeat) return a.second.repeat > b.second.repeat;
        return a.first < b.first;
    });
    QStringList names;
    for (const auto& run : found)
        names << run.first;
    return names;
}

RunPictures scanRun(const QString& runDir) {
    std::vector<std::pair<qint64, QString>> numbered;
    RunPictures result;
    for (const QString& name : QDir(runDir).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (const qint64 number = runs::pictureNumber(name); number > 0)
            numbered.emplace_back(number, name);
        else if (name != runs::RunLogName) // every run has one; it is no picture left out
            result.foreign << name;
    }
    std::sort(numbered.begin(), numbered.end());
    for (auto& [number, name] : numbered)
        result.pictures << name;
    return result;
}

} // namespace video
