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

bool FrameReceiver::previewFrame(const Message& message, QImage* image, int* slot, QString* error) {
    const qint64 generation = message.number(QLatin1String("memory"));
    *slot = int(message.number(QLatin1String("slot")));
    if (message.fd) {
        // Memory that cannot be mapped (not sealed, too small, no room) is a fault of the
        // process: the next one starts with new memory.
        QString why;
        auto memory = std::make_shared<SharedMemory>(
            SharedMemory::map(UniqueFd(::dup(message.fd.get())),
                              std::size_t(message.number(QLatin1String("bytes"))), &why));
        if (!memory->isValid())
            return fail(error, QStringLiteral("The camera's preview cannot be read: %1").arg(why));
        previewFrames_ = std::move(memory);
        previewGeneration_ = generation;
    }
    const qint64 width = message.number(QLatin1String("width"));
    const qint64 height = message.number(QLatin1String("height"));
    const bool fits =
        width > 0 && height > 0 && width <= camera::MaxPictureSide &&
        height <= camera::MaxPictureSide && *slot >= 0 && *slot <= 1 && previewFrames_ &&
        generation == previewGeneration_ &&
        std::size_t(*slot + 1) * std::size_t(width * 4 * height) <= previewFrames_->size();
    if (!fits)
        return fail(error, QStringLiteral(
                               "The camera process sent a preview frame its memory does not hold"));
    using Hold = std::shared_ptr<SharedMemory>;
    const uchar* pixels =
        previewFrames_->data() + std::size_t(*slot) * std::size_t(width * 4 * height);
    *image = imageOver(pixels, width, height, new Hold(previewFrames_));
    return true;
}

bool FrameReceiver::takeGrab(const Message& answer, QImage* frame, QDateTime* captured,
                             QString* error, bool* damaged) {
    *frame = QImage();
    *captured = QDateTime();
    *damaged = false;
    if (answer.is(QLatin1String("grab-failed")))
        return fail(error, answer.text(QLatin1String("error")));
    // From here on a failure is the camera process's fault, not the camera's.
    *damaged = true;
    const qint64 width = answer.number(QLatin1String("width"));
    const qint64 height = answer.number(QLatin1String("height"));
    const qint64 said = answer.number(QLatin1String("bytes"));
    // No picture is larger than the largest side allows, whatever the camera process says.
    if (width <= 0 || height <= 0 || width > camera::MaxPictureSide ||
        height > camera::MaxPictureSide || said != width * 4 * height)
        return fail(error, QStringLiteral("The camera process sent a damaged picture"));
    const std::size_t bytes = std::size_t(said);
    const qint64 block = answer.number(QLatin1String("block"));
    std::shared_ptr<SharedMemory> memory;
    if (answer.fd) {
        QString why;
        memory = std::make_shared<SharedMemory>(
            SharedMemory::map(UniqueFd(::dup(answer.fd.get())), bytes, &why));
        if (!memory->isValid())
            return fail(error, QStringLiteral("The camera's picture cannot be read: %1").arg(why));
        if (block > 0) grabBlocks_->mapped.insert(block, memory);
    } else {
        memory = grabBlocks_->mapped.value(block); // a block this side holds mapped already
        if (!memory || memory->size() != bytes)
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
    *frame = imageOver(pixels, width, height, new Hold{std::move(memory), grabBlocks_, block});
    *captured = QDateTime::fromMSecsSinceEpoch(answer.number(QLatin1String("captured")), Qt::UTC);
    *damaged = false;
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
