#include "camera_process/process_controls.h"

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

void ProcessControls::take(const reply::Held& held) {
    client_.held();
    emit controlsHeld(held.restore, held.held);
}

QString ProcessControls::take(const reply::Controls& said) {
    if (const QString changed = kinds_.check(said.controls); !changed.isEmpty()) return changed;
    switch (said.after) {
    case reply::ControlsAfter::Read:
        emit controlsRead(said.controls);
        break;
    case reply::ControlsAfter::Set:
        emit controlSet(said.id, said.error, said.controls);
        break;
    case reply::ControlsAfter::Applied:
        client_.applied();
        sendWanted();
        emit controlsApplied(said.refused, said.controls);
        break;
    }
    return {};
}

} // namespace camera_process
