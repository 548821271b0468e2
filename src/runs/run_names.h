#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>

// How runs and their pictures are named on disk: the window writes these names and Make Video
// reads them back, so both go through here.
namespace runs {

// The run folder name for a moment: "ddMMMyyyy-hhmmss" with the locale's abbreviated month
// name ("06Dec2026-074039" in English). Path separators in a month name become '-'.
QString runFolderName(const QDateTime& moment, const QLocale& locale);

// Creates a fresh run folder `name` in `picturesDir`, creating `picturesDir` (and its parents)
// when missing. An existing folder of that name is never reused: "-2", "-3", ... are appended
// until the name is free. Returns the name used, or an empty string with `error` set.
QString createRunFolder(const QString& picturesDir, const QString& name, QString* error);

// What a run folder's name says: when the run started, and which run of that second it was
// (1 for the first, 2 for "-2", ...).
struct RunStart {
    QDateTime moment;
    int repeat = 1;
};
// Reads a run folder name in `locale` or in English; nothing for a name of another form.
std::optional<RunStart> readRunFolderName(const QString& name, const QLocale& locale);

// The picture file extensions a run may hold, the first the one pictures are saved in by
// default; Make Video reads them all.
QStringList pictureExtensions();

// "Picture N.bmp" (or another of the extensions above): the file name of picture `number`
// (counted from 1).
QString pictureFileName(qint64 number, const QString& extension = pictureExtensions().first());

// The file of picture `number` in `folder`, in whichever of the extensions it was saved; empty
// when there is none.
QString findPictureFile(const QString& folder, qint64 number);

// The number in a picture file name ("Picture 12.bmp", "Picture 12.jpg" give 12); 0 for any
// other name.
qint64 pictureNumber(const QString& fileName);

} // namespace runs
