#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

namespace power {

// Keeps the computer from sleeping while a run goes on, through the desktop portal where one
// answers, else through logind; and tells when the computer goes to sleep and wakes anyway.
// Nothing here waits on the bus: every call is answered from the event loop.
class SleepGuard : public QObject {
    Q_OBJECT
public:
    // The buses are handed in, so that tests can give their own.
    SleepGuard(QDBusConnection session, QDBusConnection system, QObject* parent = nullptr);
    // The buses come later (useBuses()): connecting to them can take milliseconds (more when
    // there is no session bus), which the program's start need not wait for.
    explicit SleepGuard(QObject* parent = nullptr);
    // A hold asked for before is asked for now.
    void useBuses(QDBusConnection session, QDBusConnection system);
    ~SleepGuard() override;

    // Holds the computer awake, also from sleeping when idle, until release(); `why` is shown by
    // the desktop. Does nothing while held or asked for already; after cannotHold() it asks again.
    void hold(const QString& why);
    // Lets go; a hold still being asked for is let go of as soon as it is answered.
    void release();
    bool isHeld() const { return !portalHandle_.isEmpty() || logindLock_.isValid(); }

signals:
    void held(const QString& how);       // "through the desktop portal" / "through logind"
    void cannotHold(const QString& why); // neither could be had, and why
    void sleeping();                     // the computer is about to sleep
    void woke();                         // and is awake again

private slots:
    // logind's PrepareForSleep signal, connected by name.
    void onPrepareForSleep(bool start);

private:
    void askPortal();
    void askLogind(const QString& portalError);
    void fail(const QString& why);

    QDBusConnection session_, system_;
    bool busesKnown_ = false;
    QString why_;
    bool wanted_ = false;                // between hold() and release() or cannotHold()
    bool asking_ = false;                // a call is on its way
    QString portalHandle_;               // the portal's request, closed to let go
    QDBusUnixFileDescriptor logindLock_; // logind's lock, closed to let go
};

} // namespace power
