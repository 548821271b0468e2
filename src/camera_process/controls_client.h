#pragma once

#include "camera_protocol/message.h"

#include <QMap>
#include <cstdint>
#include <functional>

namespace camera_process {

// What the window wants of the camera's controls, kept across camera processes: values to set,
// values to apply together, and whether the automatics are held for a run. Whatever is wanted
// is asked of the camera process running now, and of the next one with its first frame, until
// one has answered it; a process that goes before answering leaves it wanted.
class ControlsClient {
public:
    using Values = QMap<QString, std::int64_t>; // by the controls' keys
    // Sends a message to the camera process now; false when it did not take it.
    using Send = std::function<bool(const Message&)>;

    explicit ControlsClient(Send send) : send_(std::move(send)) {}

    void setControl(std::uint32_t id, std::int64_t value) { setsWanted_.insert(id, value); }
    void apply(const Values& values);
    // True at a run's start, false at its end (a hold not yet done is then forgotten).
    void hold(bool hold);

    // A new camera process: nothing has been asked of it yet.
    void newProcess();
    // Asks the camera process now for what is wanted and not yet asked (only while it streams).
    void sendWanted();
    // The camera process's answers. What is still wanted after an answer is to be sent again.
    void applied();
    void held();

    // Values sent and not answered yet.
    bool applyPending() const { return applyPending_; }
    // The camera goes for good (the shutdown): nothing is wanted any more but the hold.
    void forget();

private:
    Send send_;
    bool applyPending_ = false; // applyWanted_ sent to the process now, not yet answered
    Values applyWanted_;
    Values applySent_;
    QMap<std::uint32_t, std::int64_t> setsWanted_;
    bool holdWanted_ = false;
    bool holdSent_ = false; // to the process now
    bool holdDone_ = false; // answered, by any process
};

} // namespace camera_process
