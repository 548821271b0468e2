#include "runs/run_log.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace runs {

namespace {

const QStringList Header{QStringLiteral("time"), QStringLiteral("event"), QStringLiteral("picture"),
                         QStringLiteral("detail")};

const QStringList KnownEvents{
    event::DiskAlmostFull, event::Started, event::Saved,  event::NotSaved, event::CameraLost,
    event::CameraBack,     event::Asleep,  event::Awake,  event::Ended,    event::Resumed,
    event::Stopped,        event::Note,    event::Frozen, event::Paused,   event::Active};

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString quoted(const QString& field) {
    static const QString Special = QStringLiteral(",\"\r\n");
    if (std::none_of(field.begin(), field.end(), [](QChar c) { return Special.contains(c); }) &&
        !field.startsWith(QLatin1Char(' ')) && !field.endsWith(QLatin1Char(' ')))
        return field;
    QString text = field;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool writeAll(int fd, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// Splits `bytes` into records of fields; `ends` gets where each ends. Text after the last line
// end is a record cut short, and left out.
QList<QStringList> parseCsv(const QByteArray& bytes, QList<qint64>* ends) {
    QList<QStringList> records;
    QStringList fields;
    QByteArray field;
    bool inQuotes = false;
    bool wasQuoted = false;
    for (qint64 i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inQuotes) {
            if (c != '"') {
                field += c;
            } else if (i + 1 < bytes.size() && bytes[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                inQuotes = false;
            }
        } else if (c == '"' && field.isEmpty() && !wasQuoted) {
            inQuotes = wasQuoted = true;
        } else if (c == ',') {
            fields << QString::fromUtf8(field);
            field.clear();
            wasQuoted = false;
        } else if (c == '\n') {
            if (!wasQuoted && field.endsWith('\r')) field.chop(1);
            fields << QString::fromUtf8(field);
            records << fields;
            fields.clear();
            field.clear();
            wasQuoted = false;
            ends->append(i + 1);
        } else if (c != '\r' || !wasQuoted) {
            field += c;
        }
    }
    return records;
}

std::optional<LogRow> rowFrom(const QStringList& fields) {
    if (fields.size() != 4) return std::nullopt;
    LogRow row;
    row.time = QDateTime::fromString(fields[0], Qt::ISODateWithMs);
    row.event = fields[1];
    bool number = true;
    if (!fields[2].isEmpty()) row.picture = fields[2].toLongLong(&number);
    row.detail = fields[3];
    if (!row.time.isValid() || !KnownEvents.contains(row.event) || !number || row.picture < 0)
        return std::nullopt;
    return row;
}

} // namespace

QString logTime(const QDateTime& moment) {
    // The C library's local time: a row is written for every picture, and Qt's time zone
    // conversion and formatting cost many times as much.
    const qint64 ms = moment.toMSecsSinceEpoch();
    const time_t seconds = time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    tm local{};
    if (!localtime_r(&seconds, &local)) return moment.toString(Qt::ISODateWithMs);
    const int offset = int(std::clamp<long>(local.tm_gmtoff / 60, -24 * 60, 24 * 60));
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, int(ms - qint64(seconds) * 1000),
                  offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60);
    return QString::fromLatin1(text);
}

QByteArray csvRow(const QStringList& fields) {
    QStringList out;
    for (const QString& field : fields)
        out << quoted(field);
    return out.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

// The thread that writes a log's rows: each batch of rows queued meanwhile goes to the file in
// one write and one flush.
struct RunLog::Writer {
    Writer(int fd, QString path) : fd(fd), path(std::move(path)), thread([this] { run(); }) {}
    ~Writer() {
        {
            std::lock_guard lock(mutex);
            ending = true;
        }
        wake.notify_one();
        thread.join();
        ::close(fd);
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return ending || !queued.isEmpty(); });
            if (queued.isEmpty()) return; // ending, and everything is written
            const QByteArray bytes = std::exchange(queued, {});
            const qint64 batch = appended;
            lock.unlock();
            QString failure;
            if (!writeAll(fd, bytes) || ::fdatasync(fd) != 0)
                failure = QStringLiteral("%1 cannot be written: %2").arg(path, systemError());
            lock.lock();
            if (!failure.isEmpty() && error.isEmpty()) error = failure;
            written = batch;
            done.notify_all();
        }
    }

    const int fd;
    const QString path;
    std::mutex mutex;
    std::condition_variable wake, done;
    QByteArray queued;
    qint64 appended = 0, written = 0; // rows
    QString error;                    // the first write that failed
    bool ending = false;
    std::thread thread;
};

RunLog::RunLog() = default;

RunLog::~RunLog() {
    close();
}

bool RunLog::open(const QString& runFolder, QString* error) {
    close();
    const QString path = runFolder + QLatin1Char('/') + RunLogName;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(error, QStringLiteral("%1 cannot be opened: %2").arg(path, systemError()));
    struct stat st {};
    QByteArray head;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        QString why;
        const std::optional<RunLogContents> contents = readRunLog(path, &why);
        if (!contents) {
            ::close(fd);
            return fail(
                error,
                QStringLiteral("%1 is not a run log this program can add to: %2").arg(path, why));
        }
        if (contents->cutRow && ::ftruncate(fd, contents->completeBytes) != 0) {
            ::close(fd);
            return fail(error, QStringLiteral("%1 cannot be written: %2").arg(path, systemError()));
        }
    } else {
        head = csvRow(Header);
    }
    if (::lseek(fd, 0, SEEK_END) < 0 || !writeAll(fd, head) || ::fdatasync(fd) != 0) {
        ::close(fd);
        return fail(error, QStringLiteral("%1 cannot be written: %2").arg(path, systemError()));
    }
    writer_ = std::make_unique<Writer>(fd, path);
    path_ = path;
    return true;
}

void RunLog::close() {
    writer_.reset(); // writes what is queued first
}

bool RunLog::append(const LogRow& row, QString* error) {
    if (!writer_) return fail(error, QStringLiteral("The run's log is not open"));
    const QByteArray bytes =
        csvRow({logTime(row.time), row.event,
                row.picture > 0 ? QString::number(row.picture) : QString(), row.detail});
    {
        std::lock_guard lock(writer_->mutex);
        if (!writer_->error.isEmpty()) return fail(error, writer_->error);
        writer_->queued += bytes;
        ++writer_->appended;
    }
    writer_->wake.notify_one();
    return true;
}

void RunLog::flush() {
    if (!writer_) return;
    std::unique_lock lock(writer_->mutex);
    const qint64 target = writer_->appended;
    writer_->done.wait(lock, [&] { return writer_->written >= target; });
}

std::optional<RunLogContents> readRunLog(const QString& path, QString* error) {
    QFile file(path);
    // A log is a few hundred bytes a picture: a week at one a second is about 60 MB.
    constexpr qint64 Largest = qint64(1) << 30;
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, file.errorString());
        return std::nullopt;
    }
    if (file.size() > Largest) {
        fail(error, QStringLiteral("the file is too large to be a run's log"));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    RunLogContents contents;
    QList<qint64> ends;
    const QList<QStringList> records = parseCsv(bytes, &ends);
    contents.completeBytes = ends.isEmpty() ? 0 : ends.last();
    contents.cutRow = contents.completeBytes < bytes.size();
    if (records.isEmpty() || records.first() != Header) {
        fail(error, QStringLiteral("its first line is not time,event,picture,detail"));
        return std::nullopt;
    }
    for (qsizetype i = 1; i < records.size(); ++i) {
        const std::optional<LogRow> row = rowFrom(records[i]);
        if (row) {
            contents.rows << *row;
            continue;
        }
        // A power cut can leave the last row half there even with its line end (the file grew
        // before its bytes reached the disk): it is ignored like one without.
        if (i == records.size() - 1) {
            contents.cutRow = true;
            contents.completeBytes = ends[i - 1];
            break;
        }
        fail(error, QStringLiteral("row %1 is not a row of a run's log").arg(i + 1));
        return std::nullopt;
    }
    return contents;
}

} // namespace runs
