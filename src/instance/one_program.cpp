#include "instance/one_program.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace instance {

namespace {

// The request a second copy sends; the first answers nothing.
constexpr char RaiseRequest[] = "raise\n";

// An address in the abstract namespace: a leading zero byte, then the name (no file on disk).
socklen_t abstractAddress(const QByteArray& name, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    const auto length =
        std::min<std::size_t>(std::size_t(name.size()), sizeof address->sun_path - 1);
    std::memcpy(address->sun_path + 1, name.constData(), length);
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Tells the copy listening at `address` to show itself; false when none listens.
bool askToRaise(const sockaddr_un& address, socklen_t length) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool told = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0)
        told = ::send(fd, RaiseRequest, sizeof RaiseRequest - 1, MSG_NOSIGNAL) ==
               ssize_t(sizeof RaiseRequest - 1);
    ::close(fd);
    return told;
}

} // namespace

void bringToFront() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() && !window->isMinimized()) continue;
        if (window->isMinimized()) window->showNormal();
        window->raise();
        window->activateWindow();
    }
}

QByteArray socketName(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QByteArray path = (canonical.isEmpty() ? folder : canonical).toUtf8();
    return "webcam-lumivex/" +
           QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(32);
}

OneProgram::Claim OneProgram::claim(const QString& folder, QString* error) {
    sockaddr_un address{};
    const socklen_t length = abstractAddress(socketName(folder), &address);
    // The holder may be ending just now (its name still taken, its socket no longer
    // accepting): a few tries tell which.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
            ::listen(fd, 8) == 0) {
            listening_ = fd;
            notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
            connect(notifier_.get(), &QSocketNotifier::activated, this, &OneProgram::onConnection);
            return Claim::Ours;
        }
        const int bindError = errno;
        ::close(fd);
        if (bindError != EADDRINUSE) {
            errno = bindError;
            break;
        }
        if (askToRaise(address, length)) return Claim::OtherRaised;
        ::usleep(50'000);
    }
    if (error)
        *error = QStringLiteral("Whether another copy of the program runs for this folder "
                                "cannot be told: %1")
                     .arg(systemError());
    return Claim::Failed;
}

OneProgram::~OneProgram() {
    for (const auto& notifier : pending_)
        ::close(int(notifier->socket()));
    pending_.clear();
    notifier_.reset();
    if (listening_ >= 0) ::close(listening_);
}

void OneProgram::onConnection() {
    for (;;) {
        const int fd = ::accept4(listening_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        // A few at a time: whoever connects is only asking for the window, and waits for nothing.
        if (pending_.size() >= MaxPending) {
            ::close(fd);
            continue;
        }
        auto owned = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QSocketNotifier* notifier = owned.get();
        pending_.push_back(std::move(owned));
        connect(notifier, &QSocketNotifier::activated, this,
                [this, notifier] { readRequest(notifier); });
        // The other copy sends its line and closes; one that says nothing is let go soon.
        QTimer::singleShot(1000, notifier, [this, notifier] { drop(notifier); });
        readRequest(notifier); // usually the line is there already
    }
}

void OneProgram::readRequest(QSocketNotifier* notifier) {
    const int fd = int(notifier->socket());
    char request[sizeof RaiseRequest] = {};
    const ssize_t n = ::recv(fd, request, sizeof request - 1, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // Nothing it sends is trusted beyond the one fixed line.
    const bool raise = n == ssize_t(sizeof RaiseRequest - 1) &&
                       std::memcmp(request, RaiseRequest, std::size_t(n)) == 0;
    drop(notifier);
    if (raise) emit raiseRequested();
}

void OneProgram::drop(QSocketNotifier* notifier) {
    const auto it = std::find_if(pending_.begin(), pending_.end(),
                                 [notifier](const auto& owned) { return owned.get() == notifier; });
    if (it == pending_.end()) return;
    notifier->setEnabled(false);
    ::close(int(notifier->socket()));
    // Deleted later: this may run in its own signal.
    it->release()->deleteLater();
    pending_.erase(it);
}

} // namespace instance
