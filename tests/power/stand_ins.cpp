#include "stand_ins.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <fcntl.h>
#include <unistd.h>

namespace power_test {

namespace {

// The session bus's rules without its service folders: every name may be owned and called.
const char* const Config = R"(<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

Bus::Bus(const QString& name) : name_(name) {
    const QString config = dir_.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(Config) < 0) return;
    file.close();
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                   QStringLiteral("--print-address=1")});
    if (daemon_.waitForReadyRead(10000)) address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
}

Bus::~Bus() {
    QDBusConnection::disconnectFromBus(name_);
    QDBusConnection::disconnectFromBus(name_ + QStringLiteral("-service"));
    daemon_.kill();
    daemon_.waitForFinished();
}

QDBusConnection Bus::client() const {
    return QDBusConnection::connectToBus(address_, name_);
}

QDBusConnection Bus::service() const {
    return QDBusConnection::connectToBus(address_, name_ + QStringLiteral("-service"));
}

void StandIn::called() {
    ++calls;
    if (!late) return;
    setDelayedReply(true);
    pending_ = message();
    connection_ = connection().name();
    waiting_ = true;
}

void StandIn::answerWith(const QVariant& value) {
    waiting_ = false;
    QDBusConnection(connection_).send(pending_.createReply(value));
}

bool Portal::offer(QDBusConnection bus) {
    return bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerObject(Handle, &request, QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

QDBusObjectPath Portal::Inhibit(const QString& window, uint flags, const QVariantMap& options) {
    called();
    this->window = window;
    this->flags = flags;
    reason = options.value(QStringLiteral("reason")).toString();
    return QDBusObjectPath(Handle);
}

Logind::~Logind() {
    if (readEnd_ >= 0) ::close(readEnd_);
}

bool Logind::offer(QDBusConnection bus) {
    return bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.login1"));
}

QDBusUnixFileDescriptor Logind::Inhibit(const QString& what, const QString& who, const QString& why,
                                        const QString& mode) {
    called();
    asked = {what, who, why, mode};
    return late ? QDBusUnixFileDescriptor() : lock();
}

QDBusUnixFileDescriptor Logind::lock() {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return {};
    if (readEnd_ >= 0) ::close(readEnd_);
    readEnd_ = ends[0];
    QDBusUnixFileDescriptor lock(ends[1]); // keeps a copy of its own
    ::close(ends[1]);
    return lock;
}

// A pipe with a writer left reads as "nothing yet"; with none left, as its end.
bool Logind::held() const {
    char byte;
    return readEnd_ >= 0 && ::read(readEnd_, &byte, 1) < 0 && errno == EAGAIN;
}

void Logind::prepareForSleep(QDBusConnection bus, bool start) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"));
    signal << start;
    bus.send(signal);
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace power_test
