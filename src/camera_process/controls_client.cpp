#include "camera_process/controls_client.h"

#include "camera_protocol/wire_format.h"

namespace camera_process {

void ControlsClient::apply(const Values& values) {
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        applyWanted_.insert(it.key(), it.value());
}

void ControlsClient::hold(bool hold) {
    holdWanted_ = hold;
    holdDone_ = false;
}

void ControlsClient::newProcess() {
    // What was sent to the process before is asked again of this one.
    applyPending_ = false;
    holdSent_ = false;
}

void ControlsClient::sendWanted() {
    // A hold answered once is in the start controls of every later process (the window gives
    // it the held values); one never answered is asked of each new process until it is.
    if (holdWanted_ && !holdDone_ && !holdSent_) holdSent_ = send_(Message(QStringLiteral("hold")));
    if (!applyWanted_.isEmpty() && !applyPending_) {
        applySent_ = applyWanted_;
        applyPending_ = send_(Message(QStringLiteral("apply-controls"),
                                      {{QLatin1String("values"), valuesToWire(applySent_)}}));
    }
    for (auto it = setsWanted_.constBegin(); it != setsWanted_.constEnd(); ++it)
        send_(
            Message(QStringLiteral("set-control"), {{QLatin1String("id"), qint64(it.key())},
                                                    {QLatin1String("value"), qint64(it.value())}}));
    setsWanted_.clear();
}

void ControlsClient::applied() {
    // The answer to what was sent (start-up's refusals come before any).
    if (!std::exchange(applyPending_, false)) return;
    // Done, unless asked again differently meanwhile.
    for (auto it = applySent_.constBegin(); it != applySent_.constEnd(); ++it)
        if (applyWanted_.contains(it.key()) && applyWanted_.value(it.key()) == it.value())
            applyWanted_.remove(it.key());
    applySent_.clear();
}

void ControlsClient::held() {
    holdDone_ = true;
    holdSent_ = false; // the next run's hold is asked of this process again
}

void ControlsClient::forget() {
    applyPending_ = false;
    applyWanted_.clear();
    setsWanted_.clear();
}

} // namespace camera_process
