#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

// The run's log, "Run log.csv" in its folder: one row for every picture and every event of the
// run, appended and flushed to disk as it happens, so that whatever ends the program (a crash,
// a power cut) the folder says what became of each picture. It is a CSV file a spreadsheet
// opens: UTF-8, fields quoted where needed, "\r\n" line ends, the header time,event,picture,detail.
// A stretch of pictures not saved for one reason is one row, its picture field "first-last".
namespace runs {

inline const QString RunLogName = QStringLiteral("Run log.csv");

// The events a row can tell.
namespace event {
inline const QString Started = QStringLiteral("started");
inline const QString Saved = QStringLiteral("saved");
inline const QString NotSaved = QStringLiteral("not saved");
inline const QString CameraLost = QStringLiteral("camera lost");
inline const QString CameraBack = QStringLiteral("camera back");
inline const QString Asleep = QStringLiteral("asleep");
inline const QString Awake = QStringLiteral("awake");
inline const QString Ended = QStringLiteral("ended");
inline const QString Resumed = QStringLiteral("resumed");
inline const QString Stopped = QStringLiteral("stopped");
inline const QString Note = QStringLiteral("note");
// Less than a day's pictures left on the disk; logged when someone watches the run.
inline const QString DiskAlmostFull = QStringLiteral("disk almost full");
inline const QString Frozen = QStringLiteral("frozen"); // the camera kept sending one picture
inline const QString Paused = QStringLiteral("paused"); // the active hours of the day are over
inline const QString Active = QStringLiteral("active"); // ...and have begun again
} // namespace event

struct LogRow {
    QDateTime time; // as written: local time with its offset from UTC
    QString event;
    qint64 picture = 0; // 0: the row is not about a picture; else the first it is about
    QString detail;
    qint64 lastPicture = 0; // the stretch's last picture when above `picture`; 0 for one picture

    qint64 last() const { return std::max(picture, lastPicture); }
    qint64 pictures() const { return picture > 0 ? last() - picture + 1 : 0; }
};

// "2026-12-08T07:40:39.120+01:00": local time, its offset from UTC, to the millisecond.
QString logTime(const QDateTime& moment);

// One row as written to the file, line end included.
QByteArray csvRow(const QStringList& fields);

// The rows a log keeps in memory while its file cannot be written (a full disk); past this the
// oldest are let go, and a note row says how many once the file takes rows again.
inline constexpr qint64 RunLogKeptBytes = qint64(4) << 20;

// Appends rows to a run's log. The rows are written and flushed to the disk (fdatasync) by a
// thread of the log's own, in the order they were given, a moment after each append: whoever
// appends never waits for the disk, and rows that come together share one flush. One program
// writes a log at a time: the file is locked (flock) from open() to close().
class RunLog {
public:
    RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;
    ~RunLog();

    // Opens the log of `runFolder`, writing the header when the file is new. A last row cut
    // short (the power went while it was written) is cut off first, so that the next row
    // starts on a line of its own; nothing before it is touched. Refused while another program
    // has the log open.
    bool open(const QString& runFolder, QString* error);
    // Writes what is still queued, then closes the file.
    void close();
    bool isOpen() const { return writer_ != nullptr; }
    QString path() const { return path_; }

    // Queues `row`. False, with `error` saying why, while the file cannot be written: the row is
    // kept with those before it (up to RunLogKeptBytes) and written once it can be, tried again
    // with each append and every few seconds. True again from the first write that worked.
    bool append(const LogRow& row, QString* error);
    // Returns once every row appended so far is on the disk, or was tried and could not be.
    void flush();
    // Why the file cannot be written; empty while it can.
    QString problem() const;

private:
    struct Writer;
    std::unique_ptr<Writer> writer_;
    QString path_;
};

// How a log read back ends. A last row cut short is left out (`cutRow` says there was one).
struct RunLogEnd {
    bool cutRow = false;
    qint64 completeBytes = 0; // where the complete rows end
};

// Reads the log at `path` a piece at a time, handing each row to `onRow` as it comes: a log of
// a long run never needs to fit in memory. False, with `error` saying why, for a file that is
// not a run's log (no header, a row of another form, an event this program does not know);
// `onRow` may have had the rows before the one at fault.
bool readRunLog(const QString& path, const std::function<void(const LogRow&)>& onRow,
                RunLogEnd* end, QString* error);

// A log read back whole, for a log known to be short.
struct RunLogContents : RunLogEnd {
    QList<LogRow> rows;
};
std::optional<RunLogContents> readRunLog(const QString& path, QString* error);

} // namespace runs
