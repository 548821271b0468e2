#pragma once

#include "pictures/picture_options.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pictures {

// One picture to save: its frame, when the camera captured it, where it goes and how.
struct SaveJob {
    qint64 number = 0; // the picture's number in its run; 0: a trial, encoded and not written
    QString path;
    QImage frame;
    QDateTime captured;
    PictureOptions options;
};

// What became of a job: saved (or, for a trial, encoded) in `bytes`, or not, and why.
struct SaveResult {
    qint64 number = 0;
    bool ok = false;
    qint64 bytes = 0;
    QString error;
    QString path;       // the job's
    QDateTime captured; // the job's
};

// Writes a picture file's bytes under its name; false with a reason in `error`.
using FileWriter = std::function<bool(const QByteArray& bytes, const QString& path, QString*)>;

// Saves pictures on a thread of its own, one after the other in the order they were added, so
// that encoding and writing never hold up the window. The queue is short: a picture offered
// while MaxQueued are still being saved is refused, and the caller counts it as not saved.
class SaveQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxQueued = 4;

    explicit SaveQueue(FileWriter write, QObject* parent = nullptr);
    // Saves what is queued, then ends the thread.
    ~SaveQueue() override;

    // Queues `job`; false, and nothing queued, when MaxQueued jobs are not finished yet.
    bool add(SaveJob job);
    // Jobs added and not finished.
    int queued() const;
    // Waits up to `timeout` for every job added to be finished; true when they are.
    bool waitUntilIdle(std::chrono::milliseconds timeout);
    // The results of the jobs finished since the last call, in the order they were added.
    std::vector<SaveResult> takeResults();

signals:
    // Results are waiting: emitted by the queue's own thread's event loop (the window's).
    void resultsReady();

private:
    void work();

    FileWriter write_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::deque<SaveJob> jobs_;
    int queued_ = 0; // in jobs_ or being saved
    std::vector<SaveResult> results_;
    bool ending_ = false;
    std::atomic<bool> noticePending_ = false;
    std::thread thread_;
};

} // namespace pictures
