// The window with the real sleep guard, against a stand-in for logind on a bus of the test's
// own: the computer held awake from Start to Stop, and a sleep that comes anyway.
#include "form_fixture.h"
#include "power/sleep_guard.h"
#include "runs/run_log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QProcess>
#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Hands out the write end of a pipe as its lock: the read end tells whether it is still held.
class Logind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    int readEnd = -1;
    ~Logind() override {
        if (readEnd >= 0) ::close(readEnd);
    }
    bool held() const {
        char byte;
        return readEnd >= 0 && ::read(readEnd, &byte, 1) < 0 && errno == EAGAIN;
    }
public slots:
    QDBusUnixFileDescriptor Inhibit(const QString&, const QString&, const QString&,
                                    const QString&) {
        int ends[2];
        if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return {};
        if (readEnd >= 0) ::close(readEnd);
        readEnd = ends[0];
        QDBusUnixFileDescriptor lock(ends[1]);
        ::close(ends[1]);
        return lock;
    }
};

class SleepTest : public FormTest {
protected:
    QProcess daemon;
    QString address;
    Logind logind;

    void SetUp() override {
        FormTest::SetUp();
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon.waitForReadyRead(10000));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("logind"));
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/login1"), &logind,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.login1")));
    }
    void TearDown() override {
        form.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
        QDBusConnection::disconnectFromBus(QStringLiteral("guard"));
        daemon.kill();
        daemon.waitForFinished();
    }
    void prepareForSleep(bool start) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
        signal << start;
        QDBusConnection(QStringLiteral("logind")).send(signal);
    }
};

TEST_F(SleepTest, HeldFromStartToStopAndASleepIsCountedAndTheCameraStartedAfresh) {
    // No session bus: no portal, so logind holds it.
    power::SleepGuard guard(QDBusConnection(QStringLiteral("none")),
                            QDBusConnection::connectToBus(address, QStringLiteral("guard")));
    window::Form1Deps deps{camera, messages, clock, alarm, programFolder.path(), locale};
    deps.sleepGuard = &guard;
    form = std::make_unique<window::Form1>(std::move(deps));
    QObject::connect(&alarm, &window::Alarm::rang, form.get(), [this] { form->waitForSaves(); });
    ASSERT_TRUE(window::loadAndWait(*form));
    EXPECT_FALSE(logind.held());
    form->txtInterval->setText(QStringLiteral("5"));
    form->cmdStart->click();
    ASSERT_TRUE(waitFor([&] { return logind.held(); }));
    passSeconds(5);

    const QString logPath =
        picturesPath() + QLatin1Char('/') + form->strRunFolder + QStringLiteral("/Run log.csv");
    const auto logHolds = [&](const char* text) {
        QFile file(logPath);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
    };
    prepareForSleep(true);
    ASSERT_TRUE(waitFor([&] { return logHolds(",asleep,"); }));
    passSeconds(1); // the computer takes a moment to fall asleep: a tick still comes
    // A minute asleep: the timer's next wake-up comes a minute late, and 12 pictures fell due.
    int wakes = 0;
    alarm.run(clock, clock.now + 1s, [&]() -> window::Nanoseconds {
        if (wakes++ > 0) return 0ms;
        clock.asleep += 60s;
        prepareForSleep(false);
        return 60s;
    });
    ASSERT_TRUE(waitFor(
        [&] { return camera.calls.contains(QStringLiteral("restart: the computer was asleep")); }));
    const QString folder = picturesPath() + QLatin1Char('/') + form->strRunFolder;
    form->cmdStop->click();
    EXPECT_TRUE(waitFor([&] { return !logind.held(); }));

    QString error;
    const auto log = runs::readRunLog(folder + QStringLiteral("/Run log.csv"), &error);
    ASSERT_TRUE(log) << error.toStdString();
    QStringList events;
    qint64 asleep = 0;
    for (const runs::LogRow& row : log->rows) {
        events << row.event;
        if (row.detail == QStringLiteral("the computer was asleep")) asleep += row.pictures();
    }
    EXPECT_EQ(events.count(runs::event::Asleep), 1) << events.join(',').toStdString();
    EXPECT_EQ(events.count(runs::event::Awake), 1);
    EXPECT_EQ(asleep, 12);
    EXPECT_EQ(form->lblPicturesTaken->text(), QStringLiteral("13"));
}

} // namespace

#include "form1_sleep_test.moc"
