#pragma once

#include "camera_protocol/message.h"
#include "camera_protocol/reply.h"
#include "camera_protocol/shared_memory.h"

#include <QCborArray>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <memory>
#include <mutex>

namespace camera_process {

// The window's side of the pictures the camera process hands over in shared memory: the
// preview's two slots and the blocks of grabbed pictures. It owns the mappings; an image it
// gives out holds its mapping for as long as any copy of it lives, so that no paint or save ever
// reads memory already unmapped. Nothing the camera process says of a picture (sizes, slots,
// blocks) is believed before it is checked against the memory actually mapped.
class FrameReceiver {
public:
    // A new camera process: nothing of the last one's memory is known any more (images still
    // around keep theirs mapped).
    void reset();

    // A preview frame: new memory is mapped when the message brings some, and replaces the old
    // only once mapped. `image` shows the frame's slot, read-only. False: the frame or its
    // memory is not right, and `error` says why.
    // `fd`: the message's descriptor (new memory), or none.
    bool previewFrame(const reply::Frame& frame, const UniqueFd& fd, QImage* image, QString* error);
    // The memory the last preview frame came in, as the camera process numbers it.
    qint64 previewGeneration() const { return previewGeneration_; }

    // A grabbed picture where the camera process put it. False: the picture is not where the
    // answer says (a fault of the camera process), and `error` says why.
    bool takeGrab(const reply::Grabbed& answer, const UniqueFd& fd, QImage* frame, QString* error);
    // The blocks of earlier pictures no image holds any more: the camera process may reuse them.
    QCborArray takeFreedBlocks();

private:
    std::shared_ptr<SharedMemory> previewFrames_; // shared with the image on screen
    qint64 previewGeneration_ = -1;
    // The camera process's blocks of grabbed pictures this side has mapped, and those let go of
    // since the last grab. The images' clean-ups may run on any thread (a save queue's).
    struct GrabBlocks {
        std::mutex mutex;
        QList<qint64> freed;
        QHash<qint64, std::shared_ptr<SharedMemory>> mapped; // the GUI thread's alone
    };
    std::shared_ptr<GrabBlocks> grabBlocks_ = std::make_shared<GrabBlocks>();
};

} // namespace camera_process
