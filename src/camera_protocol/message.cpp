#include "camera_protocol/message.h"

#include <QCborValue>
#include <unistd.h>

namespace camera_process {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

QByteArray Message::encode() const {
    QCborMap map = fields;
    map.insert(QLatin1String("do"), verb);
    return map.toCborValue().toCbor();
}

bool Message::decode(const QByteArray& bytes, Message* message) {
    QCborParserError error;
    const QCborValue value = QCborValue::fromCbor(bytes, &error);
    // One map and nothing after it: bytes beyond the first item are no part of any message.
    if (error.error != QCborError::NoError || error.offset != bytes.size() || !value.isMap())
        return false;
    QCborMap map = value.toMap();
    const QCborValue verb = map.take(QLatin1String("do"));
    if (!verb.isString()) return false;
    message->verb = verb.toString();
    message->fields = std::move(map);
    return true;
}

} // namespace camera_process
