// What a hostile camera process can send the window: any datagram, with any descriptor beside it.
// The datagram is read off a real socket by the window's channel, decoded by the window's decoder,
// and then read the way the window reads each kind of reply, descriptor included.
//
// Input (seeds: scripts/make-protocol-seeds.py): one byte saying what rides along (bits 0-1:
// nothing, shared memory, an ordinary file, a pipe; bits 2-5: the memory's seals), four bytes of
// its size (little-endian), then the datagram.
#include "camera_protocol/channel.h"
#include "camera_protocol/reply.h"
#include "camera_protocol/shared_memory.h"
#include "camera_protocol/video_format.h"

#include <QCborArray>
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

using camera_process::Channel;
using camera_process::Message;
using camera_process::UniqueFd;

namespace {

UniqueFd descriptor(std::uint8_t what, std::uint32_t size) {
    const unsigned seals[] = {F_SEAL_SHRINK, F_SEAL_GROW, F_SEAL_WRITE, F_SEAL_SEAL};
    switch (what & 3) {
    case 1: {
        UniqueFd fd(::memfd_create("fuzz", MFD_CLOEXEC | MFD_ALLOW_SEALING));
        if (!fd || ::ftruncate(fd.get(), off_t(size)) != 0) return {};
        for (int i = 0; i < 4; ++i)
            if (what & (4 << i)) ::fcntl(fd.get(), F_ADD_SEALS, seals[i]);
        return fd;
    }
    case 2: {
        UniqueFd fd(::open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (!fd || ::ftruncate(fd.get(), off_t(size)) != 0) return {};
        return fd;
    }
    case 3: {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return {};
        ::close(ends[1]);
        return UniqueFd(ends[0]);
    }
    default:
        return {};
    }
}

// Memory the window maps must hold what it was said to: its last byte is read.
void mapAsTheWindowDoes(const Message& message, qint64 bytes) {
    if (!message.fd) return;
    QString error;
    const camera_process::SharedMemory memory = camera_process::SharedMemory::map(
        UniqueFd(::dup(message.fd.get())), std::size_t(bytes), &error);
    if (memory.isValid() != error.isEmpty()) std::abort();
    if (!memory.isValid()) return;
    if (memory.size() != std::size_t(bytes)) std::abort();
    volatile unsigned char last = memory.data()[memory.size() - 1];
    (void)last;
}

// What the window reads of a reply its decoder made: it must all be as the decoder promises.
void readAsTheWindowDoes(const Message& message, const camera_process::Reply& reply) {
    namespace reply_ = camera_process::reply;
    if (const auto* told = std::get_if<reply_::Formats>(&reply)) {
        // Every format is kept, so the chosen index points at the format the camera process
        // meant.
        if (told->formats.size() != message.fields.value(QLatin1String("formats")).toArray().size())
            std::abort();
        for (const camera::VideoFormat& format : told->formats) {
            if (format.width < 1 || format.height < 1 || format.width > camera::MaxPictureSide ||
                format.height > camera::MaxPictureSide)
                std::abort();
            (void)format.label();
        }
        if (told->chosen >= told->formats.size()) std::abort();
    } else if (const auto* found = std::get_if<reply_::Found>(&reply)) {
        if (found->camera) (void)found->camera->label();
    } else if (const auto* controls = std::get_if<reply_::Controls>(&reply)) {
        const QCborArray list = message.fields.value(QLatin1String("controls")).toArray();
        if (controls->controls.size() != list.size()) std::abort();
        for (qsizetype i = 0; i < list.size(); ++i)
            if (controls->controls[i].menu.size() !=
                list.at(i).toMap().value(QLatin1String("menu")).toArray().size())
                std::abort();
    } else if (const auto* frame = std::get_if<reply_::Frame>(&reply)) {
        mapAsTheWindowDoes(message, qint64(frame->bytes));
    } else if (const auto* grabbed = std::get_if<reply_::Grabbed>(&reply)) {
        if (grabbed->bytes != std::size_t(grabbed->width) * 4 * std::size_t(grabbed->height))
            std::abort();
        mapAsTheWindowDoes(message, qint64(grabbed->bytes));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv); // the channel's socket notifier needs one
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0; // an empty datagram reads as the other end gone
    std::uint32_t fdSize;
    std::memcpy(&fdSize, data + 1, sizeof fdSize);
    const UniqueFd passed = descriptor(data[0], fdSize);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
    UniqueFd camera(ends[1]);
    Channel window{UniqueFd(ends[0])};
    // One datagram with the descriptor beside it, as a camera process sends.
    camera_process::sendDatagram(camera.get(), reinterpret_cast<const char*>(data + 5), size - 5,
                                 passed.get());

    Message message;
    if (!window.waitFor([](const Message&) { return true; }, std::chrono::milliseconds(100),
                        &message)) {
        // Only what is no message of ours closes the channel, and then it says why.
        if (window.isOpen() || window.brokenBy().isEmpty()) std::abort();
        return 0;
    }
    // Whatever the decoder says of it, the window refuses or reads it; nothing else.
    QString error;
    const auto reply = camera_process::decodeReply(message, &error);
    if (!reply) {
        if (error.isEmpty()) std::abort(); // a refusal always says why
        return 0;
    }
    readAsTheWindowDoes(message, *reply);
    return 0;
}
