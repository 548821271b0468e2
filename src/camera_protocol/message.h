#pragma once

#include <QByteArray>
#include <QCborMap>
#include <QString>

namespace camera_process {

// A file descriptor owned by whoever holds it; closed on destruction.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// One message between the window process and the camera process: a verb, named fields, and at
// most one file descriptor riding along (shared memory holding pixels). On the wire it is one
// datagram holding a CBOR map: {"do": verb, field: value, ...}.
struct Message {
    QString verb;
    QCborMap fields;
    UniqueFd fd;

    Message() = default;
    explicit Message(QString verbName, QCborMap values = {})
        : verb(std::move(verbName)), fields(std::move(values)) {}

    bool is(QLatin1StringView name) const { return verb == name; }
    QString text(QLatin1StringView key) const { return fields.value(key).toString(); }
    qint64 number(QLatin1StringView key, qint64 fallback = 0) const {
        return fields.value(key).toInteger(fallback);
    }
    bool flag(QLatin1StringView key) const { return fields.value(key).toBool(); }

    QByteArray encode() const;
    // False for bytes that are not a message of ours.
    static bool decode(const QByteArray& bytes, Message* message);
};

} // namespace camera_process
