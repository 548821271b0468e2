#pragma once

#include "camera_api/controls_port.h"
#include "camera_process/control_kinds.h"
#include "camera_process/controls_client.h"
#include "camera_protocol/message.h"
#include "camera_protocol/reply.h"

#include <functional>

namespace camera_process {

// The camera's controls through the camera process: what is wanted of them, kept across
// processes and asked of the one that streams, and its answers, checked, as the port's signals.
class ProcessControls final : public camera::ControlsPort {
    Q_OBJECT
public:
    // `send`: to the camera process now, false when it did not take it; `streaming`: whether
    // the camera delivers, the only time its controls are asked anything.
    ProcessControls(ControlsClient::Send send, std::function<bool()> streaming,
                    QObject* parent = nullptr);

    QString noControlsReason() const override { return noControls_; }
    void requestControls() override;
    void setControl(std::uint32_t id, std::int64_t value) override;
    void applyControls(const Values& values) override;
    void holdControls(bool hold) override;
    void setStartControls(const Values& values) override { startControls_ = values; }

    // For the camera view.
    const Values& startControls() const { return startControls_; }
    // The camera was found: why it has no controls (empty: it has), and who it is.
    void found(const QString& noControls, const QString& identity);
    void newProcess();
    // Asks what is still wanted of the camera process now (once it streams).
    void sendWanted();
    // Settings sent and not answered yet.
    bool applyPending() const { return client_.applyPending(); }
    // The camera goes for good: nothing more is wanted but the hold.
    void forget() { client_.forget(); }
    // The camera's controls as the camera process told them. Empty when taken; else why they
    // are not right.
    QString take(const reply::Controls& said);
    // The automatics held for a run.
    void take(const reply::Held& held);

private:
    ControlsClient::Send send_;
    ControlsClient client_;
    std::function<bool()> streaming_;
    ControlKinds kinds_; // of the camera process now
    QString noControls_ = QStringLiteral("The camera is not connected.");
    Values startControls_;
};

} // namespace camera_process
