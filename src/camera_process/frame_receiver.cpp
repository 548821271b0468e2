#include "camera_process/frame_receiver.h"

#include "camera_protocol/video_format.h"

#include <unistd.h>

namespace camera_process {

namespace {

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

// The pixels stay where they are; the image's last copy lets go of `hold`.
template <typename Hold>
QImage imageOver(const uchar* pixels, qint64 width, qint64 height, Hold* hold) {
    return QImage(
        pixels, int(width), int(height), qsizetype(width * 4), QImage::Format_RGB32,
        [](void* held) { delete static_cast<Hold*>(held); }, hold);
}

} // namespace

void FrameReceiver::reset() {
    previewFrames_.reset();
    previewGeneration_ = -1;
    grabBlocks_ = std::make_shared<GrabBlocks>(); // the new process's, none yet
}

bool FrameReceiver::previewFrame(const reply::Frame& frame, const UniqueFd& fd, QImage* image,
                                 QString* error) {
    if (fd) {
        // Memory that cannot be mapped (not sealed, too small, no room) is a fault of the
        // process: the next one starts with new memory.
        QString why;
        auto memory = std::make_shared<SharedMemory>(
            SharedMemory::map(UniqueFd(::dup(fd.get())), frame.bytes, &why));
        if (!memory->isValid())
            return fail(error, QStringLiteral("The camera's preview cannot be read: %1").arg(why));
        previewFrames_ = std::move(memory);
        previewGeneration_ = frame.memory;
    }
    const std::size_t pictureBytes = std::size_t(frame.width) * 4 * std::size_t(frame.height);
    const bool fits = previewFrames_ && frame.memory == previewGeneration_ &&
                      std::size_t(frame.slot + 1) * pictureBytes <= previewFrames_->size();
    if (!fits)
        return fail(error, QStringLiteral(
                               "The camera process sent a preview frame its memory does not hold"));
    using Hold = std::shared_ptr<SharedMemory>;
    const uchar* pixels = previewFrames_->data() + std::size_t(frame.slot) * pictureBytes;
    *image = imageOver(pixels, frame.width, frame.height, new Hold(previewFrames_));
    return true;
}

bool FrameReceiver::takeGrab(const reply::Grabbed& answer, const UniqueFd& fd, QImage* frame,
                             QString* error) {
    *frame = QImage();
    std::shared_ptr<SharedMemory> memory;
    if (fd) {
        QString why;
        memory = std::make_shared<SharedMemory>(
            SharedMemory::map(UniqueFd(::dup(fd.get())), answer.bytes, &why));
        if (!memory->isValid())
            return fail(error, QStringLiteral("The camera's picture cannot be read: %1").arg(why));
        if (answer.block > 0) grabBlocks_->mapped.insert(answer.block, memory);
    } else {
        memory = grabBlocks_->mapped.value(answer.block); // a block this side holds mapped already
        if (!memory || memory->size() != answer.bytes)
            return fail(error, QStringLiteral("The camera process sent a damaged picture"));
    }
    // When the image's last copy goes, wherever that is, its block is free for the camera
    // process again.
    struct Hold {
        std::shared_ptr<SharedMemory> memory;
        std::shared_ptr<GrabBlocks> blocks;
        qint64 block;
        ~Hold() {
            if (block <= 0) return;
            std::lock_guard lock(blocks->mutex);
            blocks->freed.append(block);
        }
    };
    const uchar* pixels = memory->data();
    *frame = imageOver(pixels, answer.width, answer.height,
                       new Hold{std::move(memory), grabBlocks_, answer.block});
    return true;
}

QCborArray FrameReceiver::takeFreedBlocks() {
    QCborArray free;
    std::lock_guard lock(grabBlocks_->mutex);
    for (const qint64 block : std::exchange(grabBlocks_->freed, {}))
        free.append(block);
    return free;
}

} // namespace camera_process
