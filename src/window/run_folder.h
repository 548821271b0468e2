#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace window {

// The run folder name for a moment: "ddMMMyyyy-hhmmss" with the locale's abbreviated month
// name ("06Dec2026-074039" in English). Path separators in a month name become '-'.
QString runFolderName(const QDateTime& moment, const QLocale& locale);

// Creates a fresh run folder `name` in `picturesDir`, creating `picturesDir` (and its parents)
// when missing. An existing folder of that name is never reused: "-2", "-3", ... are appended
// until the name is free. Returns the name used, or an empty string with `error` set.
QString createRunFolder(const QString& picturesDir, const QString& name, QString* error);

} // namespace window
