#include "runs/run_count.h"

#include <algorithm>
#include <array>

namespace runs {

namespace {

using State = RunCount::State;
using Event = RunCount::Event;

struct Row {
    State from;
    Event event;
    State to; // AtStop is reached from Running by the count, after the event (checkStop)
};

// What each event does in each state; a pair not listed is refused and changes nothing. A run
// at its stop count takes no more numbers, by hand or timed, until it is stopped.
constexpr std::array Table{
    Row{State::Idle, Event::Start, State::Running},
    Row{State::Idle, Event::Resume, State::Running},
    Row{State::Running, Event::Take, State::Running},
    Row{State::Running, Event::Miss, State::Running},
    Row{State::Running, Event::Stop, State::Idle},
    Row{State::AtStop, Event::Stop, State::Idle},
};

} // namespace

bool RunCount::happen(Event event) {
    const auto row = std::find_if(Table.begin(), Table.end(), [&](const Row& r) {
        return r.from == state_ && r.event == event;
    });
    if (row == Table.end()) return false;
    state_ = row->to;
    return true;
}

void RunCount::checkStop() {
    if (state_ == State::Running && stopAt_ > 0 && taken_ >= stopAt_) state_ = State::AtStop;
}

bool RunCount::start(std::int32_t stopAt) {
    if (!happen(Event::Start)) return false;
    stopAt_ = stopAt;
    taken_ = notSaved_ = 0;
    lastReason_.clear();
    checkStop();
    return true;
}

bool RunCount::resume(std::int32_t stopAt, qint64 highest, qint64 notSaved,
                      const QString& lastReason) {
    if (!happen(Event::Resume)) return false;
    stopAt_ = stopAt;
    taken_ = std::max<qint64>(0, highest);
    notSaved_ = std::clamp<qint64>(notSaved, 0, taken_);
    lastReason_ = lastReason;
    checkStop();
    return true;
}

qint64 RunCount::take() {
    if (!happen(Event::Take)) return 0;
    ++taken_;
    checkStop();
    return taken_;
}

RunCount::Stretch RunCount::miss(qint64 count, const QString& reason) {
    count = dueBeforeStop(count);
    if (count <= 0 || !happen(Event::Miss)) return {};
    const Stretch stretch{taken_ + 1, taken_ + count};
    taken_ = stretch.last;
    notSaved_ += count;
    lastReason_ = QStringLiteral("Picture %1: %2").arg(stretch.last).arg(reason);
    checkStop();
    return stretch;
}

void RunCount::notSaved(qint64 number, const QString& reason) {
    // Only a number the run has used; a late answer after the stop is no longer its.
    if (!running() || number <= 0 || number > taken_) return;
    ++notSaved_;
    lastReason_ = QStringLiteral("Picture %1: %2").arg(number).arg(reason);
}

bool RunCount::stop() {
    if (!happen(Event::Stop)) return false;
    taken_ = 0;
    notSaved_ = 0;
    lastReason_.clear();
    return true;
}

qint64 RunCount::dueBeforeStop(qint64 due) const {
    if (due <= 0) return 0;
    if (stopAt_ <= 0) return due;
    return std::clamp<qint64>(qint64(stopAt_) - taken_, 0, due);
}

} // namespace runs
