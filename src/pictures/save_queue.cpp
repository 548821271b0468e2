#include "pictures/save_queue.h"

#include "pictures/picture_encoder.h"

namespace pictures {

SaveQueue::SaveQueue(FileWriter write, QObject* parent)
    : QObject(parent), write_(std::move(write)), thread_([this] { work(); }) {}

SaveQueue::~SaveQueue() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool SaveQueue::add(SaveJob job) {
    {
        std::lock_guard lock(mutex_);
        if (queued_ >= MaxQueued) return false;
        ++queued_;
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
    return true;
}

int SaveQueue::queued() const {
    std::lock_guard lock(mutex_);
    return queued_;
}

bool SaveQueue::waitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return finished_.wait_for(lock, timeout, [this] { return queued_ == 0; });
}

std::vector<SaveResult> SaveQueue::takeResults() {
    std::lock_guard lock(mutex_);
    return std::exchange(results_, {});
}

void SaveQueue::work() {
    // The encoders and the file's buffer are kept between pictures: no fresh pages to fault in
    // for each one (6 MB for a BMP at 1920 x 1080).
    PictureEncoder encoder;
    QByteArray bytes;
    for (;;) {
        SaveJob job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
            if (jobs_.empty()) return; // ending, and nothing is left to save
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        SaveResult result;
        result.number = job.number;
        result.path = job.path;
        result.captured = job.captured;
        result.ok = encoder.encode(job.frame, job.captured, job.options, &bytes, &result.error) &&
                    (job.number == 0 || write_(bytes, job.path, &result.error));
        if (result.ok) result.bytes = bytes.size();
        job = SaveJob(); // the frame goes back to the camera before anyone hears of it
        {
            std::lock_guard lock(mutex_);
            results_.push_back(std::move(result));
            --queued_;
        }
        finished_.notify_all();
        // One notice on its way at a time: a window that takes the results without its event
        // loop (waitForSaves()) must not find notices piling up in it.
        if (!noticePending_.exchange(true))
            QMetaObject::invokeMethod(
                this,
                [this] {
                    noticePending_ = false;
                    emit resultsReady();
                },
                Qt::QueuedConnection);
    }
}

} // namespace pictures
