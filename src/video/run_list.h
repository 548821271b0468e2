#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <vector>

namespace video {

// The run folders under the pictures folder, newest first: by the date and time in the name
// where it has the run-folder form ("06Dec2026-074039", "06Dec2026-074039-2"), else by the
// folder's modification time. Folders the program did not make are listed too.
QStringList listRuns(const QString& picturesDir, const QLocale& locale);

// The picture files of a run folder in picture-number order ("Picture 2.bmp" before
// "Picture 10.bmp"), and the other files, which are skipped; the run's log is neither.
struct RunPictures {
    QStringList pictures; // file names, in order
    QStringList foreign;  // other file names but the log's, in name order
};
RunPictures scanRun(const QString& runDir);

} // namespace video
