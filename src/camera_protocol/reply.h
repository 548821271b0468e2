#pragma once

#include "camera_protocol/camera_control.h"
#include "camera_protocol/device_identity.h"
#include "camera_protocol/message.h"
#include "camera_protocol/video_format.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <variant>

// What the camera process says, as values: the window reads no message field by field, only the
// value its one decoder made of it, so that every field is checked (present, of its kind, in
// range) in one place before anything trusts it.
namespace camera_process::reply {

// Messages that say only that something happened.
enum class Said { Ready, FirstFrame, Started, Connected, FormatSet, DeviceAdded, StillScene };
struct Event {
    Said what;
};

// Messages that say something failed, and why.
enum class Fault {
    NoCamera,      // no camera at all
    NotPluggedIn,  // the camera asked for is not there (yet)
    Invalid,       // the source cannot be read as one
    ConnectFailed, // the camera did not start
    FormatFailed,  // the format asked for did not start
    StartFailed,   // a try's camera did not start
    Failed,        // the camera failed while it ran
};
struct Failure {
    Fault what;
    QString error;
    // A frozen camera's last picture (a checksum), when the failure is that it froze.
    std::optional<qint64> frozen;
};

// The camera process did not know a verb the window sent (an older camera program).
struct NotUnderstood {
    QString verb;
};

// The camera process's heartbeat: frames seen so far, and when the last arrived (steady clock,
// ns; 0: not said).
struct Status {
    qint64 frames = 0;
    qint64 arrived = 0;
};

// A preview frame in shared memory: the descriptor, when new memory comes, rides in the message.
struct Frame {
    int slot = 0;
    qint64 memory = 0; // which memory, as the camera process numbers it
    std::size_t bytes = 0;
    int width = 0;
    int height = 0;
};

// A grabbed picture in shared memory (a block the window holds mapped, or new memory riding in
// the message).
struct Grabbed {
    qint64 id = 0;
    qint64 block = 0; // 0: memory of its own
    std::size_t bytes = 0;
    int width = 0;
    int height = 0;
    QDateTime captured; // UTC
};

struct GrabFailed {
    qint64 id = 0;
    QString error;
};

// The camera, found.
struct Found {
    QString label;
    bool draws = false; // the camera process can draw the preview into the window
    QString noControls; // why the camera's controls cannot be set; empty: they can
    std::optional<camera::DeviceIdentity> camera;
};

struct Formats {
    QList<camera::VideoFormat> formats;
    int chosen = -1; // the one the camera starts in; -1: none said
};

// The camera's controls: read, after one was set, or after values were applied.
enum class ControlsAfter { Read, Set, Applied };
struct Controls {
    ControlsAfter after = ControlsAfter::Read;
    QList<camera::CameraControl> controls;
    std::uint32_t id = 0; // the control set (Set)
    QString error;        // why it was refused (Set)
    QStringList refused;  // "key: reason" for each value refused (Applied)
};

// The automatics switched off for a run: as they were, and the values now in force.
struct Held {
    QMap<QString, std::int64_t> restore;
    QMap<QString, std::int64_t> held;
};

} // namespace camera_process::reply

namespace camera_process {

using Reply = std::variant<reply::Event, reply::Failure, reply::NotUnderstood, reply::Status,
                           reply::Frame, reply::Grabbed, reply::GrabFailed, reply::Found,
                           reply::Formats, reply::Controls, reply::Held>;

// The window's one decoder of what the camera process says: the verb is one the window knows,
// and every field is there, of its kind and in range (sizes at most camera::MaxPictureSide a
// side, controls of a kind that exists). Empty, with `error` naming the verb and the field, for
// a message that is not right.
std::optional<Reply> decodeReply(const Message& message, QString* error);

// The grab a reply answers; 0 when it answers none.
qint64 grabAnswered(const Reply& reply);

} // namespace camera_process
