#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <mutex>

namespace web {

// The latest picture as JPEG, whatever format it was saved in: at most 1280 pixels wide unless
// the full size is asked for. Made once per picture and size, on the asking server thread; the
// others asking meanwhile wait for that one instead of making their own.
class LatestJpeg {
public:
    static constexpr int MaxWidth = 1280;
    static constexpr int Quality = 85;

    // The JPEG of the picture at `path`; null with `error` set when it cannot be read.
    std::shared_ptr<const QByteArray> get(const QString& path, bool full, QString* error);
    int encodings() const; // how many were made, for the tests

private:
    struct Entry {
        QString path;
        std::shared_ptr<const QByteArray> jpeg;
    };
    mutable std::mutex mutex_;
    Entry scaled_, full_;
    int encodings_ = 0;
};

} // namespace web
