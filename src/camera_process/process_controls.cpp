#include "camera_process/process_controls.h"

#include "camera_protocol/wire_format.h"

#include <QCborArray>

namespace camera_process {

ProcessControls::ProcessControls(ControlsClient::Send send, std::function<bool()> streaming,
                                 QObject* parent)
    : ControlsPort(parent), send_(send), client_(std::move(send)),
      streaming_(std::move(streaming)) {}

void ProcessControls::requestControls() {
    if (streaming_()) send_(Message(QStringLiteral("controls")));
}

void ProcessControls::setControl(std::uint32_t id, std::int64_t value) {
    client_.setControl(id, value);
    sendWanted();
}

void ProcessControls::applyControls(const Values& values) {
    client_.apply(values);
    sendWanted();
}

void ProcessControls::holdControls(bool hold) {
    client_.hold(hold);
    sendWanted();
}

void ProcessControls::found(const QString& noControls, const QString& identity) {
    noControls_ = noControls;
    emit cameraFound(identity); // sets the controls the camera starts with
}

void ProcessControls::newProcess() {
    client_.newProcess();
    kinds_.reset();
}

void ProcessControls::sendWanted() {
    if (streaming_()) client_.sendWanted();
}

QString ProcessControls::take(const Message& message) {
    if (message.is(QLatin1String("held"))) {
        client_.held();
        emit controlsHeld(valuesFromWire(message.fields.value(QLatin1String("restore")).toMap()),
                          valuesFromWire(message.fields.value(QLatin1String("held")).toMap()));
        return {};
    }
    const QList<camera::CameraControl> controls =
        controlsFromWire(message.fields.value(QLatin1String("controls")).toArray());
    if (const QString changed = kinds_.check(controls); !changed.isEmpty()) return changed;
    if (message.is(QLatin1String("controls"))) {
        emit controlsRead(controls);
    } else if (message.is(QLatin1String("control-set"))) {
        emit controlSet(std::uint32_t(message.number(QLatin1String("id"))),
                        message.text(QLatin1String("error")), controls);
    } else {
        client_.applied();
        sendWanted();
        QStringList refused;
        for (const QCborValue& reason : message.fields.value(QLatin1String("refused")).toArray())
            refused << reason.toString();
        emit controlsApplied(refused, controls);
    }
    return {};
}

} // namespace camera_process
