#include "camera_protocol/channel.h"

#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace camera_process {

namespace {

// Where messages are read into: one per thread for all its channels, not one per channel, so a
// new camera process after every fault neither allocates nor frees a large block (each freed
// one moved the allocator's thresholds, and the window grew).
char* receiveBuffer() {
    static thread_local std::unique_ptr<char[]> buffer(new char[Channel::MaxMessage]);
    return buffer.get();
}

} // namespace

Channel::Channel(UniqueFd socket, QObject* parent) : QObject(parent), socket_(std::move(socket)) {
    notifier_ = std::make_unique<QSocketNotifier>(qintptr(socket_.get()), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &Channel::onReadable);
}

Channel::~Channel() {
    notifier_.reset();
}

bool Channel::send(const Message& message, int fd) {
    if (!isOpen()) return false;
    const QByteArray bytes = message.encode();
    const ssize_t sent = sendDatagram(socket_.get(), bytes.constData(), bytes.size(), fd);
    tooLarge_ = sent < 0 && errno == EMSGSIZE;
    if (sent == ssize_t(bytes.size())) return true;
    // Too large for the socket: this message is lost, the other end is not.
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && !tooLarge_) markClosed();
    return false;
}

ssize_t sendDatagram(int socket, const char* bytes, std::size_t size, int fd) {
    iovec io{const_cast<char*>(bytes), size};
    msghdr header{};
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (fd >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* part = CMSG_FIRSTHDR(&header);
        part->cmsg_level = SOL_SOCKET;
        part->cmsg_type = SCM_RIGHTS;
        part->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(part), &fd, sizeof(int));
    }
    ssize_t sent;
    do {
        sent = ::sendmsg(socket, &header, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
}

Channel::Read Channel::readOne(Message* message) {
    if (!isOpen()) return Read::Closed;
    char* const buffer = receiveBuffer();
    iovec io{buffer, std::size_t(MaxMessage)};
    msghdr header{};
    header.msg_iov = &io;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)] = {};
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t got;
    do {
        got = ::recvmsg(socket_.get(), &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Read::Empty;
    if (got <= 0) return Read::Closed; // 0: the other end has gone
    UniqueFd fd;
    for (cmsghdr* part = CMSG_FIRSTHDR(&header); part; part = CMSG_NXTHDR(&header, part)) {
        if (part->cmsg_level != SOL_SOCKET || part->cmsg_type != SCM_RIGHTS) continue;
        const int count = int((part->cmsg_len - CMSG_LEN(0)) / sizeof(int));
        for (int i = 0; i < count; ++i) {
            int passed = -1;
            std::memcpy(&passed, CMSG_DATA(part) + i * sizeof(int), sizeof(int));
            UniqueFd received(passed);
            if (!fd) fd = std::move(received); // one is all a message carries
        }
    }
    // A message cut short or not of ours: the other end is not a camera process we understand.
    if (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) {
        brokenBy_ = QStringLiteral("The camera process sent a message too large");
        return Read::Closed;
    }
    if (!Message::decode(QByteArray::fromRawData(buffer, qsizetype(got)), message)) {
        brokenBy_ = QStringLiteral("The camera process sent something that is not a message");
        return Read::Closed;
    }
    message->fd = std::move(fd);
    return Read::Message;
}

void Channel::onReadable() {
    const QPointer<Channel> alive(this);
    deliverSetAside();
    // Level-triggered: what is left is read in the next turn.
    for (int reads = 0; alive && isOpen() && reads < MaxReadsPerTurn; ++reads) {
        Message message;
        const Read read = readOne(&message);
        if (read == Read::Empty) return;
        if (read == Read::Closed) {
            markClosed();
            return;
        }
        emit received(message);
    }
}

void Channel::deliverSetAside() {
    // Inside a wait nothing is handed out: the wait hands it out once it is over.
    if (delivering_ || waiting_) return;
    delivering_ = true;
    const QPointer<Channel> alive(this);
    while (alive && !setAside_.empty()) {
        Message message = std::move(setAside_.front());
        setAside_.pop_front();
        emit received(message);
    }
    if (alive) {
        delivering_ = false;
        if (closed_ && !closedSaid_) {
            closedSaid_ = true;
            emit closed();
        }
    }
}

bool Channel::waitFor(const std::function<bool(const Message&)>& wanted,
                      std::chrono::milliseconds timeout, Message* message,
                      const std::function<void()>& meanwhile) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    const QPointer<Channel> alive(this);
    auto nextMeanwhile = Clock::now() + MeanwhileEvery;
    bool found = false;
    // What `meanwhile` lets run must not take messages from under this wait.
    waiting_ = true;
    if (meanwhile && notifier_) notifier_->setEnabled(false);
    // The deadline holds however fast the other side sends, and what is set aside meanwhile is
    // bounded: a process that floods the socket is not waited for.
    while (isOpen() && Clock::now() < deadline && setAside_.size() < MaxSetAside) {
        Message next;
        const Read read = readOne(&next);
        if (read == Read::Closed) {
            markClosed();
            break;
        }
        if (read == Read::Message) {
            if (wanted(next)) {
                *message = std::move(next);
                found = true;
                break;
            }
            setAside_.push_back(std::move(next));
            continue;
        }
        if (meanwhile && Clock::now() >= nextMeanwhile) {
            meanwhile();
            if (!alive) return false;
            nextMeanwhile = Clock::now() + MeanwhileEvery;
        }
        const auto until = meanwhile ? std::min(deadline, nextMeanwhile) : deadline;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (Clock::now() >= deadline) break;
        pollfd readable{socket_.get(), POLLIN, 0};
        ::poll(&readable, 1, int(std::clamp<qint64>(left.count(), 0, 60'000)));
    }
    waiting_ = false;
    if (meanwhile && notifier_ && !closed_) notifier_->setEnabled(true);
    // What came meanwhile is handed out from the event loop, after the caller is done.
    if (!setAside_.empty() || (closed_ && !closedSaid_))
        QMetaObject::invokeMethod(this, &Channel::deliverSetAside, Qt::QueuedConnection);
    return found;
}

void Channel::markClosed() {
    if (closed_) return;
    closed_ = true;
    if (notifier_) notifier_->setEnabled(false);
    // Said from the event loop, after what arrived before it, never inside a caller's wait.
    QMetaObject::invokeMethod(this, &Channel::deliverSetAside, Qt::QueuedConnection);
}

bool makeSocketPair(UniqueFd* ours, UniqueFd* theirs, QString* error) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Room for a large format list and a burst of notices without blocking either side.
    const int bytes = 4 << 20;
    for (int fd : fds) {
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    ours->reset(fds[0]);
    theirs->reset(fds[1]);
    return true;
}

} // namespace camera_process
