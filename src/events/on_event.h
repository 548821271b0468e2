#pragma once

#include "events/command_runner.h"
#include "events/run_event.h"
#include "runs/run_watcher.h"

namespace events {

// The run's log rows that are events, handed to the command runner.
class OnEvent : public runs::RunWatcher {
public:
    explicit OnEvent(CommandRunner& runner) : runner_(runner) {}
    void runChanged(const runs::RunState& state, const QList<runs::LogRow>& rows) override {
        for (const runs::LogRow& row : rows)
            if (const std::optional<QString> name = picker_.pick(row))
                runner_.add({*name, state.runFolder, state.latestPicture, row.detail, row.time});
    }
    void setLogSink(LogSink sink) override { runner_.setReport(std::move(sink)); }

private:
    CommandRunner& runner_;
    EventPicker picker_;
};

} // namespace events
