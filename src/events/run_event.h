#pragma once

#include "runs/run_log.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace events {

// One event of a run, as the command is told of it.
struct RunEvent {
    QString name;      // the log's event name: "camera lost"
    QString runFolder; // absolute
    QString picture;   // the newest picture's path; empty when there is none
    QString detail;    // the log row's detail
    QDateTime time;
};

// Which of the log's rows are events for the command: the run's beginning and end, the camera,
// sleep, the disk, and pictures not saved (the first of a streak only; the next streak again
// once pictures were saved in between).
class EventPicker {
public:
    std::optional<QString> pick(const runs::LogRow& row);

private:
    bool inStreak_ = false;
};

} // namespace events
