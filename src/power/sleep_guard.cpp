#include "power/sleep_guard.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace power {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString PortalRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString LogindService = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString LogindManager = QStringLiteral("org.freedesktop.login1.Manager");

// The portal's flags: 4 suspend, 8 idle (the session counted idle, which may suspend it).
constexpr uint SuspendAndIdle = 4 | 8;
// A desktop that has not answered in this long is taken not to be there, and logind is asked.
constexpr int CallTimeoutMs = 2000;

} // namespace

SleepGuard::SleepGuard(QDBusConnection session, QDBusConnection system, QObject* parent)
    : SleepGuard(parent) {
    useBuses(std::move(session), std::move(system));
}

SleepGuard::SleepGuard(QObject* parent)
    : QObject(parent), session_(QString()), system_(QString()) {}

void SleepGuard::useBuses(QDBusConnection session, QDBusConnection system) {
    session_ = std::move(session);
    system_ = std::move(system);
    busesKnown_ = true;
    if (system_.isConnected())
        system_.connect(LogindService, LogindPath, LogindManager, QStringLiteral("PrepareForSleep"),
                        this, SLOT(onPrepareForSleep(bool)));
    if (wanted_ && !asking_ && !isHeld()) askPortal();
}

SleepGuard::~SleepGuard() {
    release();
}

void SleepGuard::hold(const QString& why) {
    if (wanted_) return;
    wanted_ = true;
    why_ = why;
    if (busesKnown_ && !asking_ && !isHeld()) askPortal();
}

void SleepGuard::release() {
    wanted_ = false;
    if (!portalHandle_.isEmpty() && session_.isConnected())
        session_.asyncCall(QDBusMessage::createMethodCall(PortalService, portalHandle_,
                                                          PortalRequest, QStringLiteral("Close")));
    portalHandle_.clear();
    logindLock_ = QDBusUnixFileDescriptor(); // closes our copy: logind lets go
}

void SleepGuard::askPortal() {
    if (!session_.isConnected()) {
        askLogind(QStringLiteral("there is no session bus"));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath, PortalInhibit,
                                                       QStringLiteral("Inhibit"));
    call << QString() << SuspendAndIdle << QVariantMap{{QStringLiteral("reason"), why_}};
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        asking_ = false;
        if (reply.isError()) {
            askLogind(reply.error().message());
            return;
        }
        portalHandle_ = reply.value().path();
        if (!wanted_) {
            release(); // let go of while it was asked for
            return;
        }
        emit held(QStringLiteral("through the desktop portal"));
    });
}

void SleepGuard::askLogind(const QString& portalError) {
    if (!wanted_) return;
    const QString noPortal = QStringLiteral("the desktop portal: %1").arg(portalError);
    if (!system_.isConnected()) {
        fail(QStringLiteral("%1; logind: there is no system bus").arg(noPortal));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager,
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Webcam Lumivex") << why_
         << QStringLiteral("block");
    asking_ = true;
    auto* watcher = new QDBusPendingCallWatcher(system_.asyncCall(call, CallTimeoutMs), this);
    connect(
        watcher, &QDBusPendingCallWatcher::finished, this,
        [this, noPortal](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
            asking_ = false;
            if (reply.isError()) {
                if (wanted_)
                    fail(QStringLiteral("%1; logind: %2").arg(noPortal, reply.error().message()));
                return;
            }
            logindLock_ = reply.value();
            if (!wanted_) {
                release();
                return;
            }
            emit held(QStringLiteral("through logind"));
        });
}

// Nothing is held or asked for any more, so that the next hold() asks again.
void SleepGuard::fail(const QString& why) {
    wanted_ = false;
    emit cannotHold(why);
}

void SleepGuard::onPrepareForSleep(bool start) {
    if (start)
        emit sleeping();
    else
        emit woke();
}

} // namespace power
