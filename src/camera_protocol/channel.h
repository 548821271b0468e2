#pragma once

#include "camera_protocol/message.h"

#include <QObject>
#include <QSocketNotifier>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <sys/types.h>

namespace camera_process {

// One end of the socket between the two processes (a SOCK_SEQPACKET pair: each message one
// datagram, file descriptors passed beside it). Messages reach the owner's thread through a
// socket notifier. The one synchronous wait, waitFor(), puts whatever else arrives meanwhile
// aside and hands it out afterwards, in order, from the event loop.
class Channel : public QObject {
    Q_OBJECT
public:
    // Takes over `socket`.
    // At most this many messages are set aside during one wait.
    static constexpr qsizetype MaxSetAside = 4096;

    explicit Channel(UniqueFd socket, QObject* parent = nullptr);
    ~Channel() override;

    // False when the other end is gone or does not take the message at once (its queue is
    // full: it does not read), or when the message is too large for the socket (tooLarge()).
    bool send(const Message& message, int fd = -1);
    // The last send() failed only because the message is larger than the socket takes; the
    // channel stays open.
    bool tooLarge() const { return tooLarge_; }
    // Why the channel closed when the other end sent something that is no message of ours (cut
    // short, too large, not CBOR); empty when it just went away.
    QString brokenBy() const { return brokenBy_; }

    // Waits up to `timeout` for a message that `wanted` accepts; false on timeout or when the
    // other end is gone. Nothing else of the program runs meanwhile but `meanwhile`, when
    // given, called at least every `MeanwhileEvery` (to keep a dialog painted, say); whatever
    // it lets run gets nothing from this channel until the wait is over.
    bool waitFor(const std::function<bool(const Message&)>& wanted,
                 std::chrono::milliseconds timeout, Message* message,
                 const std::function<void()>& meanwhile = {});
    static constexpr std::chrono::milliseconds MeanwhileEvery{10};

    bool isOpen() const { return socket_.get() >= 0 && !closed_; }

    // The largest message: the format list of a camera that offers a thousand formats.
    static constexpr qsizetype MaxMessage = 1 << 20;
    // Messages read in one turn of the event loop: a process that sends without pause never
    // keeps the timers (and the watchdog) of this one from running.
    static constexpr int MaxReadsPerTurn = 64;

signals:
    void received(const Message& message);
    // The other end closed its socket or died; said once.
    void closed();

private:
    enum class Read { Message, Empty, Closed };
    Read readOne(Message* message);
    void onReadable();
    void deliverSetAside();
    void markClosed();

    UniqueFd socket_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::deque<Message> setAside_;
    bool closed_ = false;
    bool closedSaid_ = false;
    bool delivering_ = false;
    bool waiting_ = false;
    bool tooLarge_ = false;
    QString brokenBy_;
};

// Sends `size` bytes as one datagram on `socket` without blocking, with `fd` beside it when it
// is not -1; what sendmsg() returns (-1 with errno set on failure).
ssize_t sendDatagram(int socket, const char* bytes, std::size_t size, int fd);

// A connected pair of sockets for a Channel each: [0] for this process, [1] for the child.
bool makeSocketPair(UniqueFd* ours, UniqueFd* theirs, QString* error);

} // namespace camera_process
