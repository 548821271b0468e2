#pragma once

#include <QString>
#include <cstdint>

// A run's numbering and counts, without a window: every number a run uses is used here, once,
// in order, as a picture taken (saved later, or not), or as a stretch of pictures that fell due
// while they could not be taken. The stop rule lives here too. Its states and what each event
// does in them are one table (run_count.cpp); an event a state has no row for changes nothing.
namespace runs {

class RunCount {
public:
    enum class State {
        Idle,    // no run
        Running, // numbers are used
        AtStop,  // the stop count is reached: the run stops next
    };
    enum class Event { Start, Resume, Take, Miss, Stop };

    struct Stretch {
        qint64 first = 0, last = -1; // empty when last < first
        qint64 count() const { return last >= first ? last - first + 1 : 0; }
    };

    State state() const { return state_; }
    bool running() const { return state_ != State::Idle; }

    // A new run: nothing taken. `stopAt` -1 or any count at or below 0 never stops it.
    bool start(std::int32_t stopAt);
    // A run taken up again: `highest` numbers were used, `notSaved` of them not saved.
    bool resume(std::int32_t stopAt, qint64 highest, qint64 notSaved, const QString& lastReason);
    // The next number, used now; 0 when no run takes pictures.
    qint64 take();
    // `count` numbers used at once for pictures that fell due and were not taken, for `reason`;
    // never past the stop count.
    Stretch miss(qint64 count, const QString& reason);
    // A number used before, whose picture could not be saved.
    void notSaved(qint64 number, const QString& reason);
    // The run is over: back to Idle, the counts cleared.
    bool stop();

    qint64 taken() const { return taken_; }
    qint64 notSavedCount() const { return notSaved_; }
    QString lastReason() const { return lastReason_; } // "Picture 7: ..."
    // How many of `due` pictures the run takes before its stop count.
    qint64 dueBeforeStop(qint64 due) const;

private:
    bool happen(Event event);
    void checkStop();

    State state_ = State::Idle;
    std::int32_t stopAt_ = -1;
    qint64 taken_ = 0;
    qint64 notSaved_ = 0;
    QString lastReason_;
};

} // namespace runs
