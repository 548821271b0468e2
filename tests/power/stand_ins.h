// Buses of the test's own, and stand-ins for the desktop portal and logind on them.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <functional>

namespace power_test {

// A private bus: a dbus-daemon of its own, ended with the bus. It starts no services by itself,
// so that a desktop's real portal never answers in a stand-in's place.
class Bus {
public:
    explicit Bus(const QString& name);
    ~Bus();
    bool isUp() const { return !address_.isEmpty(); }
    // The guard's connection, and another one for the stand-ins, so that every call goes over
    // the bus.
    QDBusConnection client() const;
    QDBusConnection service() const;

private:
    QString name_;
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

// Answers at once, or only when answer() is called: a desktop slow to answer.
class StandIn : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    bool late = false;
    int calls = 0;
    bool waiting() const { return waiting_; }

protected:
    void called();
    void answerWith(const QVariant& value);

private:
    bool waiting_ = false;
    QDBusMessage pending_;
    QString connection_;
};

class PortalRequest : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    int closed = 0;
public slots:
    void Close() { ++closed; }
};

class Portal : public StandIn {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public:
    static inline const QString Handle =
        QStringLiteral("/org/freedesktop/portal/desktop/request/1/t");
    QString window = QStringLiteral("(not asked)");
    uint flags = 0;
    QString reason;
    PortalRequest request;

    // Takes the portal's name and paths on `bus`.
    bool offer(QDBusConnection bus);
    void answer() { answerWith(QVariant::fromValue(QDBusObjectPath(Handle))); }
public slots:
    QDBusObjectPath Inhibit(const QString& window, uint flags, const QVariantMap& options);
};

// Hands out the write end of a pipe as its lock; the read end tells whether anyone still has it.
class Logind : public StandIn {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList asked;
    ~Logind() override;
    bool offer(QDBusConnection bus);
    void answer() { answerWith(QVariant::fromValue(lock())); }
    bool held() const;
    void prepareForSleep(QDBusConnection bus, bool start);
public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode);

private:
    QDBusUnixFileDescriptor lock();
    int readEnd_ = -1;
};

// Lets the event loop run until `done` holds, for at most `ms`.
bool waitFor(const std::function<bool()>& done, int ms = 5000);

} // namespace power_test
