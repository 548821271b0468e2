#include "events/run_event.h"

#include <QStringList>

namespace events {

namespace {

// Matched by name: whoever logs them, the command hears of them.
const QStringList Events{runs::event::Started,        runs::event::Resumed,
                         runs::event::Stopped,        runs::event::Ended,
                         runs::event::CameraLost,     runs::event::CameraBack,
                         runs::event::DiskAlmostFull, runs::event::Frozen,
                         runs::event::Asleep,         runs::event::Awake};

} // namespace

std::optional<QString> EventPicker::pick(const runs::LogRow& row) {
    if (row.event == runs::event::Saved) {
        inStreak_ = false;
        return std::nullopt;
    }
    if (row.event == runs::event::Started) inStreak_ = false;
    if (row.event == runs::event::NotSaved) {
        if (inStreak_) return std::nullopt;
        inStreak_ = true;
        return row.event;
    }
    if (Events.contains(row.event)) return row.event;
    return std::nullopt;
}

} // namespace events
