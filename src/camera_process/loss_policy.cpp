#include "camera_process/loss_policy.h"

#include <array>

namespace camera_process {

namespace {

using namespace action;

struct Row {
    Link from;
    LinkEvent event;
    Link to;
    unsigned actions;
};

constexpr unsigned Lose = EndProcess | ShowLost | StartRetries | SpareProcess;
constexpr unsigned TryFailed = EndProcess | SpareProcess;

// Events missing for a state are ignored there: a late message of a process already ended, a
// retry while a try is under way (its own silence or failure ends it). A process that dies by
// itself gets no spare: the next try starts one, at the retry timer's pace.
constexpr std::array Table{
    Row{Link::Idle, LinkEvent::Connected, Link::Streaming, 0},
    Row{Link::Idle, LinkEvent::Absent, Link::Lost, ShowLost | StartRetries},

    Row{Link::Streaming, LinkEvent::Failure, Link::Lost, Lose},
    Row{Link::Streaming, LinkEvent::Silence, Link::Lost, Lose},
    Row{Link::Streaming, LinkEvent::ProcessGone, Link::Lost, Lose},
    Row{Link::Streaming, LinkEvent::NoAnswer, Link::Lost, Lose},

    Row{Link::Lost, LinkEvent::RetryDue, Link::Retrying, TryAgain},
    Row{Link::Lost, LinkEvent::DeviceAdded, Link::Retrying, TryAgain},
    Row{Link::Lost, LinkEvent::Failure, Link::Lost, EndProcess},
    Row{Link::Lost, LinkEvent::ProcessGone, Link::Lost, EndProcess},
    Row{Link::Lost, LinkEvent::NoAnswer, Link::Lost, EndProcess},

    Row{Link::Retrying, LinkEvent::FirstFrame, Link::Streaming, ShowBack | StopRetries},
    Row{Link::Retrying, LinkEvent::Failure, Link::Lost, TryFailed},
    Row{Link::Retrying, LinkEvent::Silence, Link::Lost, TryFailed},
    Row{Link::Retrying, LinkEvent::ProcessGone, Link::Lost, EndProcess},
    Row{Link::Retrying, LinkEvent::NoAnswer, Link::Lost, TryFailed},
    Row{Link::Retrying, LinkEvent::NotPluggedIn, Link::Lost, 0},

    Row{Link::Streaming, LinkEvent::Disconnect, Link::Idle, EndProcess},
    Row{Link::Lost, LinkEvent::Disconnect, Link::Idle, EndProcess | StopRetries | ClearLost},
    Row{Link::Retrying, LinkEvent::Disconnect, Link::Idle, EndProcess | StopRetries | ClearLost},
};

} // namespace

std::optional<LinkMove> nextLink(Link from, LinkEvent event) {
    for (const Row& row : Table)
        if (row.from == from && row.event == event) return LinkMove{row.to, row.actions};
    return std::nullopt;
}

} // namespace camera_process
