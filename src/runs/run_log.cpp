#include "runs/run_log.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
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

// How many bytes of `bytes` reached the file: all of them unless a write failed.
qint64 writeAll(int fd, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

// A hand-made file with no line ends must not fill the memory.
constexpr qint64 LongestRecord = qint64(1) << 20;

// Splits CSV text, fed a piece at a time, into records of fields, each handed on with where it
// ends. Text after the last line end is a record cut short, and never handed on.
class CsvSplitter {
public:
    // False for a record longer than any row of a run's log.
    template <typename OnRecord> bool feed(const char* bytes, qint64 size, OnRecord&& onRecord) {
        for (qint64 i = 0; i < size; ++i, ++offset_) {
            // Plain text up to the next byte that may mean something goes in at once.
            if (!quoteInQuotes_) {
                qint64 plain = i;
                while (plain < size && (inQuotes_ ? bytes[plain] != '"' : !special(bytes[plain])))
                    ++plain;
                if (plain > i) {
                    field_.append(bytes + i, plain - i);
                    recordBytes_ += plain - i;
                    offset_ += plain - i;
                    i = plain;
                    if (recordBytes_ > LongestRecord) return false;
                    if (i == size) break;
                }
            }
            const char c = bytes[i];
            if (++recordBytes_ > LongestRecord) return false;
            if (quoteInQuotes_) {
                quoteInQuotes_ = false;
                if (c == '"') {
                    field_ += '"';
                    continue;
                }
                inQuotes_ = false; // that quote closed the field; `c` follows it
            }
            if (inQuotes_) {
                if (c == '"')
                    quoteInQuotes_ = true;
                else
                    field_ += c;
            } else if (c == '"' && field_.isEmpty() && !wasQuoted_) {
                inQuotes_ = wasQuoted_ = true;
            } else if (c == ',') {
                fields_ << QString::fromUtf8(field_);
                field_.resize(0); // keeps its room for the next field
                wasQuoted_ = false;
            } else if (c == '\n') {
                if (!wasQuoted_ && field_.endsWith('\r')) field_.chop(1);
                fields_ << QString::fromUtf8(field_);
                field_.resize(0);
                wasQuoted_ = false;
                recordBytes_ = 0;
                onRecord(std::exchange(fields_, {}), offset_ + 1);
            } else if (c != '\r' || !wasQuoted_) {
                field_ += c;
            }
        }
        return true;
    }
    qint64 offset() const { return offset_; }

private:
    static bool special(char c) { return c == '"' || c == ',' || c == '\n' || c == '\r'; }

    QStringList fields_;
    QByteArray field_;
    bool inQuotes_ = false, quoteInQuotes_ = false, wasQuoted_ = false;
    qint64 offset_ = 0, recordBytes_ = 0;
};

// "12" or a stretch "12-2592011"; false for anything else.
bool readPictures(const QString& text, LogRow* row) {
    if (text.isEmpty()) return true;
    bool ok = false;
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (dash < 0) {
        row->picture = text.toLongLong(&ok);
        return ok && row->picture >= 0;
    }
    bool lastOk = false;
    const qint64 first = text.left(dash).toLongLong(&ok);
    const qint64 last = text.mid(dash + 1).toLongLong(&lastOk);
    if (!ok || !lastOk || first <= 0 || last < first || text.at(dash + 1) == QLatin1Char('-') ||
        text.at(dash + 1) == QLatin1Char('+'))
        return false;
    row->picture = first;
    row->lastPicture = last > first ? last : 0;
    return true;
}

QString picturesText(const LogRow& row) {
    if (row.picture <= 0) return {};
    if (row.lastPicture > row.picture)
        return QStringLiteral("%1-%2").arg(row.picture).arg(row.lastPicture);
    return QString::number(row.picture);
}

std::optional<LogRow> rowFrom(const QStringList& fields) {
    if (fields.size() != 4) return std::nullopt;
    LogRow row;
    row.time = QDateTime::fromString(fields[0], Qt::ISODateWithMs);
    row.event = fields[1];
    const bool pictures = readPictures(fields[2], &row);
    row.detail = fields[3];
    if (!row.time.isValid() || !KnownEvents.contains(row.event) || !pictures) return std::nullopt;
    return row;
}

QByteArray rowBytes(const LogRow& row) {
    return csvRow({logTime(row.time), row.event, picturesText(row), row.detail});
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
// one write and one flush. A write that fails or stops short is cut back to its last whole row,
// so that the file never holds half a row with rows after it; the rows not written wait for the
// next try.
struct RunLog::Writer {
    Writer(int fd, QString path, qint64 size)
        : fd(fd), path(std::move(path)), size(size), thread([this] { run(); }) {}
    ~Writer() {
        {
            std::lock_guard lock(mutex);
            ending = true;
        }
        wake.notify_one();
        thread.join();
        ::close(fd);
    }

    // Puts `rows` back ahead of those queued since, letting the oldest go past the limit.
    void keep(std::deque<QByteArray>&& rows) {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
            queuedBytes += it->size();
            queued.push_front(std::move(*it));
        }
        trim();
    }
    void trim() {
        while (queuedBytes > RunLogKeptBytes && queued.size() > 1) {
            queuedBytes -= queued.front().size();
            queued.pop_front();
            ++dropped;
        }
    }

    // Writes `rows` and flushes them; those that did not reach the file are left in `rows`.
    // Fewer than `together` whole rows written count as none.
    QString write(std::deque<QByteArray>& rows, std::size_t together) {
        const auto failed = [&] {
            return QStringLiteral("%1 cannot be written: %2").arg(path, systemError());
        };
        // A cut that did not work before is done first.
        struct stat st {};
        if (::fstat(fd, &st) != 0) return failed();
        if (st.st_size != size && ::ftruncate(fd, size) != 0) return failed();
        QByteArray bytes;
        for (const QByteArray& row : rows)
            bytes += row;
        const qint64 done = writeAll(fd, bytes);
        if (done == bytes.size()) {
            if (::fdatasync(fd) == 0) {
                size += done;
                rows.clear();
                return {};
            }
            // Which of them reached the disk is unknown: all of them are written again.
            const QString why = failed();
            ::ftruncate(fd, size);
            return why;
        }
        const QString why = failed();
        qint64 whole = 0;
        std::size_t written = 0;
        for (; written < rows.size() && whole + rows[written].size() <= done; ++written)
            whole += rows[written].size();
        if (written >= together) {
            rows.erase(rows.begin(), rows.begin() + qsizetype(written));
            size += whole;
        }
        ::ftruncate(fd, size); // when this fails too, the next write does it first
        return why;
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            if (error.isEmpty()) {
                wake.wait(lock, [this] { return ending || !queued.empty(); });
            } else {
                // Tried again with the next row, or after a while: the disk may have room again.
                wake.wait_for(lock, RetryEvery, [this] { return ending || appended > tried; });
                if (queued.empty() && dropped == 0 && !ending) continue;
            }
            if (queued.empty() && dropped == 0) return; // ending, and everything is written
            // While the file cannot be written, a try is the oldest rows only: a full disk tried
            // every few seconds must not cost a copy of everything kept.
            std::deque<QByteArray> rows;
            if (error.isEmpty() || ending) {
                rows = std::exchange(queued, {});
                queuedBytes = 0;
            } else {
                for (qint64 bytes = 0; !queued.empty() && bytes < TryBytes; queued.pop_front()) {
                    bytes += queued.front().size();
                    queuedBytes -= queued.front().size();
                    rows.push_back(std::move(queued.front()));
                }
            }
            const bool all = queued.empty();
            const qint64 batch = appended;
            const qint64 lost = dropped;
            const bool last = ending;
            lock.unlock();
            // Where rows were let go, a note says how many.
            if (lost > 0)
                rows.push_front(rowBytes(
                    {QDateTime::currentDateTime(), event::Note, 0,
                     QStringLiteral("%1 rows are missing here: the log could not be written, and "
                                    "only its newest rows were kept meanwhile")
                         .arg(lost)}));
            // ...written only with a row after it, where there is one: a note alone would fit
            // on a disk that has no room for rows.
            const std::size_t count = rows.size();
            const QString failure = write(rows, lost > 0 && count > 1 ? 2 : 1);
            const bool told = lost > 0 && rows.size() < count;
            if (lost > 0 && !told) rows.pop_front(); // made afresh at the next try
            lock.lock();
            if (told) dropped -= lost;
            if (!failure.isEmpty() && !last) keep(std::move(rows));
            error = failure;
            if (!failure.isEmpty() || all) tried = batch;
            done.notify_all();
            if (last) return;
        }
    }

    static constexpr std::chrono::seconds RetryEvery{3};
    static constexpr qint64 TryBytes = 64 * 1024;
    const int fd;
    const QString path;
    qint64 size; // where the file's last whole row ends
    mutable std::mutex mutex;
    std::condition_variable wake, done;
    std::deque<QByteArray> queued; // whole rows, oldest first
    qint64 queuedBytes = 0;
    qint64 dropped = 0;             // rows let go while the file could not be written
    qint64 appended = 0, tried = 0; // rows
    QString error;                  // why the last write failed; empty after one that worked
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
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(error, QStringLiteral("%1 cannot be opened: %2").arg(path, systemError()));
    const auto failWith = [&](const QString& why) {
        ::close(fd);
        return fail(error, why);
    };
    // Held until the file is closed: two programs appending would mix their rows.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return failWith(
            errno == EWOULDBLOCK
                ? QStringLiteral("another program is writing this run's log (%1)").arg(path)
                : QStringLiteral("%1 cannot be locked: %2").arg(path, systemError()));
    struct stat st {};
    QByteArray head;
    qint64 size = 0;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        QString why;
        RunLogEnd end;
        if (!readRunLog(
                path, [](const LogRow&) {}, &end, &why))
            return failWith(
                QStringLiteral("%1 is not a run log this program can add to: %2").arg(path, why));
        if (end.cutRow && ::ftruncate(fd, end.completeBytes) != 0)
            return failWith(QStringLiteral("%1 cannot be written: %2").arg(path, systemError()));
        size = end.completeBytes;
    } else {
        head = csvRow(Header);
    }
    if (writeAll(fd, head) != head.size() || ::fdatasync(fd) != 0) {
        if (!head.isEmpty()) ::ftruncate(fd, 0);
        return failWith(QStringLiteral("%1 cannot be written: %2").arg(path, systemError()));
    }
    writer_ = std::make_unique<Writer>(fd, path, size + head.size());
    path_ = path;
    return true;
}

void RunLog::close() {
    writer_.reset(); // writes what is queued first
}

bool RunLog::append(const LogRow& row, QString* error) {
    if (!writer_) return fail(error, QStringLiteral("The run's log is not open"));
    QByteArray bytes = rowBytes(row);
    QString problem;
    {
        std::lock_guard lock(writer_->mutex);
        problem = writer_->error;
        ++writer_->appended;
        writer_->queuedBytes += bytes.size();
        writer_->queued.push_back(std::move(bytes));
        writer_->trim();
    }
    writer_->wake.notify_one();
    return problem.isEmpty() || fail(error, problem);
}

void RunLog::flush() {
    if (!writer_) return;
    std::unique_lock lock(writer_->mutex);
    const qint64 target = writer_->appended;
    writer_->done.wait(lock, [&] { return writer_->tried >= target; });
}

QString RunLog::problem() const {
    if (!writer_) return {};
    std::lock_guard lock(writer_->mutex);
    return writer_->error;
}

bool readRunLog(const QString& path, const std::function<void(const LogRow&)>& onRow,
                RunLogEnd* end, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(error, file.errorString());
    CsvSplitter splitter;
    qint64 records = 0;
    qint64 completeBytes = 0;
    // A row that is not a run log's: the last one cut short, if nothing follows it.
    std::optional<qint64> oddRow;
    QString failure;
    const auto onRecord = [&](const QStringList& fields, qint64 endsAt) {
        if (!failure.isEmpty()) return;
        ++records;
        if (records == 1) {
            if (fields != Header)
                failure = QStringLiteral("its first line is not time,event,picture,detail");
            else
                completeBytes = endsAt;
            return;
        }
        if (oddRow) {
            failure = QStringLiteral("row %1 is not a row of a run's log").arg(*oddRow);
            return;
        }
        if (const std::optional<LogRow> row = rowFrom(fields)) {
            completeBytes = endsAt;
            onRow(*row);
        } else {
            oddRow = records;
        }
    };
    QByteArray chunk(qsizetype(1) << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) return fail(error, file.errorString());
        if (n == 0) break;
        if (!splitter.feed(chunk.constData(), n, onRecord))
            return fail(
                error,
                QStringLiteral("row %1 is longer than any row of a run's log").arg(records + 1));
        if (!failure.isEmpty()) return fail(error, failure);
    }
    if (records == 0)
        return fail(error, QStringLiteral("its first line is not time,event,picture,detail"));
    // A power cut can leave the last row half there even with its line end (the file grew
    // before its bytes reached the disk): it is ignored like one without.
    if (end) {
        end->completeBytes = completeBytes;
        end->cutRow = completeBytes < splitter.offset();
    }
    return true;
}

std::optional<RunLogContents> readRunLog(const QString& path, QString* error) {
    RunLogContents contents;
    if (!readRunLog(
            path, [&](const LogRow& row) { contents.rows << row; }, &contents, error))
        return std::nullopt;
    return contents;
}

} // namespace runs
