// Keeping the computer awake, against stand-ins for the desktop portal and logind on buses of
// the test's own (the real ones need a desktop session).
#include "power/sleep_guard.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QSignalSpy>
#include <QVariantMap>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A private bus: a dbus-daemon of its own, ended with the test.
class Bus {
public:
    explicit Bus(const QString& name) : name_(name) {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~Bus() {
        QDBusConnection::disconnectFromBus(name_);
        QDBusConnection::disconnectFromBus(name_ + QStringLiteral("-service"));
        daemon_.kill();
        daemon_.waitForFinished();
    }
    // The program's connection, and another one for the stand-in services, so that every call
    // goes over the bus.
    QDBusConnection client() const { return QDBusConnection::connectToBus(address_, name_); }
    QDBusConnection service() const {
        return QDBusConnection::connectToBus(address_, name_ + QStringLiteral("-service"));
    }

private:
    QString name_;
    QProcess daemon_;
    QString address_;
};

class PortalRequest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    int closed = 0;
public slots:
    void Close() { ++closed; }
};

class Portal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    uint flags = 0;
    QString reason;
public slots:
    QDBusObjectPath Inhibit(const QString&, uint f, const QVariantMap& options) {
        flags = f;
        reason = options.value(QStringLiteral("reason")).toString();
        return QDBusObjectPath(QStringLiteral("/org/freedesktop/portal/desktop/request/1/t"));
    }
};

// Hands out the write end of a pipe as its lock; the test reads the other end to see whether
// anyone still holds it.
class Logind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList asked;
    int readEnd = -1;
    ~Logind() override {
        if (readEnd >= 0) ::close(readEnd);
    }
    // 1: held, 0: let go of.
    int held() const {
        char byte;
        return ::read(readEnd, &byte, 1) < 0 && errno == EAGAIN ? 1 : 0;
    }
public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        asked << what << who << why << mode;
        int ends[2];
        if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return {};
        readEnd = ends[0];
        QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        return lock;
    }
};

// Lets the event loop run until `done` holds, for at most `ms`.
bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

const QString Why = QStringLiteral("A timelapse capture run is in progress");

TEST(SleepGuard, ThePortalHoldsTheComputerUntilReleased) {
    Bus session(QStringLiteral("session-a")), system(QStringLiteral("system-a"));
    Portal portal;
    PortalRequest request;
    QDBusConnection service = session.service();
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/portal/desktop/request/1/t"),
                                       &request, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    power::SleepGuard guard(session.client(), system.client());
    QSignalSpy held(&guard, &power::SleepGuard::held);
    guard.hold(Why);
    ASSERT_TRUE(held.wait(5000));
    EXPECT_EQ(held.first().first().toString(), QStringLiteral("through the desktop portal"));
    EXPECT_TRUE(portal.flags & 4) << portal.flags; // suspend
    EXPECT_EQ(portal.reason, Why);
    guard.release();
    EXPECT_TRUE(waitFor([&] { return request.closed == 1; }));
    EXPECT_FALSE(guard.isHeld());
}

// No portal: logind's lock, held while the run goes on and let go at its end, also when the
// run ended before logind answered; and logind's word of sleep and waking.
TEST(SleepGuard, WithoutAPortalLogindHoldsItAndTellsOfSleep) {
    Bus session(QStringLiteral("session-b")), system(QStringLiteral("system-b"));
    Logind logind;
    QDBusConnection service = system.service();
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.login1")));

    power::SleepGuard guard(session.client(), system.client());
    QSignalSpy held(&guard, &power::SleepGuard::held);
    QSignalSpy cannot(&guard, &power::SleepGuard::cannotHold);
    guard.hold(Why);
    ASSERT_TRUE(held.wait(5000));
    EXPECT_EQ(held.first().first().toString(), QStringLiteral("through logind"));
    EXPECT_EQ(logind.asked, QStringList({QStringLiteral("sleep:idle"),
                                         QStringLiteral("Webcam Lumivex"), Why,
                                         QStringLiteral("block")}));
    EXPECT_EQ(logind.held(), 1);
    guard.release();
    EXPECT_TRUE(waitFor([&] { return logind.held() == 0; }));

    // Released while the portal or logind is still being asked: whatever answers later is let
    // go of at once.
    for (int steps : {0, 1, 2, 3, 5, 8}) {
        guard.hold(Why);
        for (int i = 0; i < steps; ++i) QCoreApplication::processEvents();
        guard.release();
        waitFor([] { return false; }, 300);
        EXPECT_EQ(logind.held(), 0) << steps;
    }
    EXPECT_FALSE(guard.isHeld());
    EXPECT_EQ(cannot.count(), 0);

    QSignalSpy sleeping(&guard, &power::SleepGuard::sleeping);
    QSignalSpy woke(&guard, &power::SleepGuard::woke);
    for (bool start : {true, false}) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << start;
        service.send(signal);
    }
    EXPECT_TRUE(waitFor([&] { return woke.count() == 1; }));
    EXPECT_EQ(sleeping.count(), 1);
}

TEST(SleepGuard, WhenNeitherAnswersItSaysSoOnce) {
    Bus session(QStringLiteral("session-c")), system(QStringLiteral("system-c"));
    power::SleepGuard guard(session.client(), system.client());
    QSignalSpy cannot(&guard, &power::SleepGuard::cannotHold);
    guard.hold(Why);
    ASSERT_TRUE(cannot.wait(10000));
    guard.hold(Why);
    waitFor([] { return false; }, 200);
    EXPECT_EQ(cannot.count(), 1);
    EXPECT_TRUE(cannot.first().first().toString().contains(QStringLiteral("logind")));
    EXPECT_FALSE(guard.isHeld());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "sleep_guard_test.moc"
