// A stand-in for lumivex-camera that speaks the protocol without a camera: it opens at once,
// delivers small grey frames, answers grabs and controls, and lies once when told to.
//
// LYING_CAMERA_FAULT names a file; when it holds the name of a fault, the process sends that
// fault at the next grab (grab-...) or heartbeat (the others) and removes the file, so the
// process that takes its place is honest again. LYING_CAMERA_STARTS names a file each process
// adds its id to when it starts.
#include "camera_protocol/channel.h"
#include "camera_protocol/shared_memory.h"

#include <QCborArray>
#include <QCborMap>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace camera_process;

constexpr int Width = 64;
constexpr int Height = 48;
constexpr std::size_t FrameBytes = std::size_t(Width) * 4 * Height;

qint64 steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A sealed block of `size` bytes, grey.
SharedMemory greyBlock(std::size_t size) {
    SharedMemory memory = SharedMemory::create(size, nullptr);
    if (memory.isValid()) std::memset(memory.data(), 0x80, size);
    return memory;
}

class LyingCamera : public QObject {
public:
    explicit LyingCamera(UniqueFd socket) : channel_(std::move(socket)) {
        connect(&channel_, &Channel::received, this, &LyingCamera::onMessage);
        connect(&channel_, &Channel::closed, qApp, &QCoreApplication::quit);
        connect(&heartbeat_, &QTimer::timeout, this, &LyingCamera::tick);
        connect(&frames_, &QTimer::timeout, this, &LyingCamera::frame);
        channel_.send(Message(QStringLiteral("ready")));
    }

private:
    // The fault asked for, taken (the file removed) when it is of the kind `prefix` says.
    QString takeFault(bool atGrab) {
        QFile file(QString::fromLocal8Bit(qgetenv("LYING_CAMERA_FAULT")));
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QString fault = QString::fromLatin1(file.readAll().trimmed());
        if (fault.isEmpty() || fault == QLatin1String("open-die") ||
            fault == QLatin1String("connect-die") || fault == QLatin1String("connect-damaged") ||
            fault.startsWith(QLatin1String("grab-")) != atGrab)
            return {};
        file.remove();
        return fault;
    }

    // "open-die" and "connect-die": the process dies when asked that, as one whose plugin
    // crashes while it loads or starts the camera.
    void dieIfAsked(const Message& message) {
        QFile file(QString::fromLocal8Bit(qgetenv("LYING_CAMERA_FAULT")));
        if (!file.open(QIODevice::ReadOnly) ||
            file.readAll().trimmed() != message.verb.toLatin1() + "-die")
            return;
        file.remove();
        std::_Exit(1);
    }

    void onMessage(const Message& message) {
        dieIfAsked(message);
        if (message.is(QLatin1String("open"))) {
            heartbeat_.start(
                int(std::clamp<qint64>(message.number(QLatin1String("heartbeat")), 10, 100)));
            channel_.send(
                Message(QStringLiteral("found"),
                        {{QLatin1String("label"), QStringLiteral("Lying camera")},
                         {QLatin1String("draws"), false},
                         {QLatin1String("noControls"), QString()},
                         {QLatin1String("camera"),
                          QCborMap{{QLatin1String("name"), QStringLiteral("Lying camera")},
                                   {QLatin1String("path"), QStringLiteral("/dev/video-lying")},
                                   {QLatin1String("bus"), QStringLiteral("lying:1")}}}}));
        } else if (message.is(QLatin1String("connect"))) {
            // LYING_CAMERA_DOWN names a file: while it is there the camera cannot be opened, like
            // a network camera switched off.
            if (QFile::exists(QString::fromLocal8Bit(qgetenv("LYING_CAMERA_DOWN")))) {
                channel_.send(
                    Message(QStringLiteral("connect-failed"),
                            {{QLatin1String("error"), QStringLiteral("Connection refused")}}));
                return;
            }
            // "connect-damaged": start-up's answer with its formats as text, not a list.
            if (QFile file(QString::fromLocal8Bit(qgetenv("LYING_CAMERA_FAULT")));
                file.open(QIODevice::ReadOnly) && file.readAll().trimmed() == "connect-damaged") {
                file.remove();
                channel_.send(Message(QStringLiteral("formats"),
                                      {{QLatin1String("formats"), QStringLiteral("BGRx")},
                                       {QLatin1String("chosen"), 0}}));
                return;
            }
            // Two formats, the first the default; the one a run asks for by its label is taken.
            QCborArray formats;
            for (const int fps : {30, 15})
                formats.append(QCborMap{{QLatin1String("pixels"), QStringLiteral("BGRx")},
                                        {QLatin1String("width"), Width},
                                        {QLatin1String("height"), Height},
                                        {QLatin1String("fpsN"), fps},
                                        {QLatin1String("fpsD"), 1}});
            const bool slow = message.text(QLatin1String("formatLabel")) ==
                              QStringLiteral("BGRx  %1 x %2  15 fps").arg(Width).arg(Height);
            channel_.send(
                Message(QStringLiteral("formats"), {{QLatin1String("formats"), formats},
                                                    {QLatin1String("chosen"), qint64(slow)}}));
            channel_.send(Message(QStringLiteral("connected")));
            startFrames();
        } else if (message.is(QLatin1String("start"))) {
            // A try: LYING_CAMERA_FIRST_FRAME_MS makes its first frame late, like a network
            // camera's waiting for its next key frame.
            channel_.send(Message(QStringLiteral("started")));
            QTimer::singleShot(qEnvironmentVariableIntValue("LYING_CAMERA_FIRST_FRAME_MS"), this,
                               &LyingCamera::startFrames);
        } else if (message.is(QLatin1String("preview"))) {
            preview_ = message.flag(QLatin1String("on"));
        } else if (message.is(QLatin1String("shown"))) {
            pending_ = false;
            if (truncateOnShown_) {
                // The file the window was told to show shrinks under its mapping.
                truncateOnShown_ = false;
                if (::ftruncate(shownFile_.handle(), 0) != 0) std::perror("ftruncate");
            }
        } else if (message.is(QLatin1String("grab"))) {
            grab(message.number(QLatin1String("id")));
        } else if (message.is(QLatin1String("controls"))) {
            channel_.send(
                Message(QStringLiteral("controls"), {{QLatin1String("controls"), QCborArray()}}));
        } else if (message.is(QLatin1String("apply-controls"))) {
            channel_.send(Message(QStringLiteral("controls-applied"),
                                  {{QLatin1String("refused"), QCborArray()},
                                   {QLatin1String("controls"), QCborArray()}}));
        } else if (message.is(QLatin1String("hold"))) {
            channel_.send(Message(QStringLiteral("held"), {{QLatin1String("restore"), QCborMap()},
                                                           {QLatin1String("held"), QCborMap()}}));
        }
    }

    void startFrames() {
        channel_.send(Message(QStringLiteral("first-frame")));
        frames_.start(33);
    }

    void frame() {
        ++delivered_;
        lastFrame_ = steadyNs();
        if (!preview_ || pending_) return;
        const bool fresh = !previewMemory_.isValid();
        if (fresh) previewMemory_ = greyBlock(FrameBytes * 2);
        slot_ = 1 - slot_;
        pending_ = true;
        channel_.send(
            Message(QStringLiteral("frame"), {{QLatin1String("slot"), slot_},
                                              {QLatin1String("memory"), 1},
                                              {QLatin1String("bytes"), qint64(FrameBytes * 2)},
                                              {QLatin1String("width"), Width},
                                              {QLatin1String("height"), Height}}),
            fresh ? previewMemory_.fd() : -1);
    }

    void tick() {
        const QString fault = takeFault(false);
        if (fault == QLatin1String("frame-ordinary-file")) {
            // An ordinary file of the right size, cut short once the window has it.
            shownFile_.setFileTemplate(QDir::tempPath() + QLatin1String("/lying-XXXXXX"));
            if (!shownFile_.open() || !shownFile_.resize(qint64(FrameBytes * 2))) return;
            truncateOnShown_ = true;
            channel_.send(
                Message(QStringLiteral("frame"), {{QLatin1String("slot"), 0},
                                                  {QLatin1String("memory"), 2},
                                                  {QLatin1String("bytes"), qint64(FrameBytes * 2)},
                                                  {QLatin1String("width"), Width},
                                                  {QLatin1String("height"), Height}}),
                shownFile_.handle());
        } else if (fault == QLatin1String("frame-larger-than-memory")) {
            // Sealed memory of two small slots, said to hold a picture ten times as wide.
            SharedMemory small = greyBlock(FrameBytes * 2);
            channel_.send(
                Message(QStringLiteral("frame"), {{QLatin1String("slot"), 1},
                                                  {QLatin1String("memory"), 3},
                                                  {QLatin1String("bytes"), qint64(FrameBytes * 2)},
                                                  {QLatin1String("width"), Width * 10},
                                                  {QLatin1String("height"), Height}}),
                small.fd());
        } else if (fault == QLatin1String("frame-no-fields")) {
            channel_.send(Message(QStringLiteral("frame")));
        } else if (fault == QLatin1String("status-wrong-kind")) {
            channel_.send(Message(QStringLiteral("status"),
                                  {{QLatin1String("frames"), QStringLiteral("many")}}));
        } else if (fault == QLatin1String("controls-wrong-kind")) {
            // Controls as they are asked for by the settings dialog, with a kind that does not
            // exist and a range given as text.
            channel_.send(
                Message(QStringLiteral("controls"),
                        {{QLatin1String("controls"),
                          QCborArray{QCborMap{{QLatin1String("id"), 1},
                                              {QLatin1String("kind"), 42},
                                              {QLatin1String("name"), QStringLiteral("Brightness")},
                                              {QLatin1String("key"), QStringLiteral("brightness")},
                                              {QLatin1String("min"), QStringLiteral("low")},
                                              {QLatin1String("max"), 255}}}}}));
        } else if (fault == QLatin1String("controls-kind-changes")) {
            // Brightness listed as a slider, then as a switch under the same id.
            for (const int kind : {0, 1})
                channel_.send(
                    Message(QStringLiteral("controls"),
                            {{QLatin1String("controls"),
                              QCborArray{QCborMap{
                                  {QLatin1String("id"), 0x00980900},
                                  {QLatin1String("kind"), kind},
                                  {QLatin1String("name"), QStringLiteral("Brightness")},
                                  {QLatin1String("key"), QStringLiteral("brightness")}}}}}));
        } else if (fault == QLatin1String("unknown-verb")) {
            channel_.send(Message(QStringLiteral("lumivex-no-such-verb")));
        } else if (fault == QLatin1String("not-a-message")) {
            // Bytes that are no CBOR map at all.
            const char junk[] = "\xff\x00junk";
            if (::send(socketOf(), junk, sizeof junk, MSG_NOSIGNAL) < 0) std::perror("send");
        }
        channel_.send(Message(QStringLiteral("status"), {{QLatin1String("frames"), delivered_},
                                                         {QLatin1String("arrived"), lastFrame_}}));
    }

    int socketOf() const { return 3; }

    void grab(qint64 id) {
        const QString fault = takeFault(true);
        QCborMap fields{{QLatin1String("id"), id},
                        {QLatin1String("block"), 0},
                        {QLatin1String("bytes"), qint64(FrameBytes)},
                        {QLatin1String("width"), Width},
                        {QLatin1String("height"), Height},
                        {QLatin1String("captured"), QDateTime::currentMSecsSinceEpoch()}};
        SharedMemory picture = greyBlock(FrameBytes);
        UniqueFd other;
        int fd = picture.fd();
        if (fault == QLatin1String("grab-ordinary-file")) {
            QTemporaryFile file(QDir::tempPath() + QLatin1String("/lying-XXXXXX"));
            if (!file.open() || !file.resize(qint64(FrameBytes))) return;
            other.reset(::dup(file.handle()));
            fd = other.get();
        } else if (fault == QLatin1String("grab-huge")) {
            // 100000 x 100000 over sparse sealed memory: nothing here, 40 GB for whoever reads.
            const qint64 side = 100000;
            other.reset(::memfd_create("lying", MFD_CLOEXEC | MFD_ALLOW_SEALING));
            if (::ftruncate(other.get(), off_t(side * side * 4)) != 0 ||
                ::fcntl(other.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) != 0)
                std::perror("memfd");
            fd = other.get();
            fields.insert(QLatin1String("width"), side);
            fields.insert(QLatin1String("height"), side);
            fields.insert(QLatin1String("bytes"), side * side * 4);
        } else if (fault == QLatin1String("grab-wrong-bytes")) {
            fields.insert(QLatin1String("bytes"), qint64(FrameBytes) - 4);
        } else if (fault == QLatin1String("grab-negative")) {
            fields.insert(QLatin1String("width"), -Width);
            fields.insert(QLatin1String("height"), -Height);
        } else if (fault == QLatin1String("grab-wrong-kind")) {
            fields.insert(QLatin1String("width"), QStringLiteral("64"));
        } else if (fault == QLatin1String("grab-no-fields")) {
            channel_.send(Message(QStringLiteral("grabbed")), fd);
            return;
        } else if (fault == QLatin1String("grab-die")) {
            ::_exit(1); // as the window waits for the picture
        } else if (fault == QLatin1String("grab-flood")) {
            // Heartbeats without pause instead of the answer, for up to five seconds.
            QElapsedTimer clock;
            clock.start();
            const Message status(
                QStringLiteral("status"),
                {{QLatin1String("frames"), delivered_}, {QLatin1String("arrived"), lastFrame_}});
            while (clock.elapsed() < 5000)
                if (!channel_.send(status) && !channel_.isOpen()) break;
            return;
        }
        channel_.send(Message(QStringLiteral("grabbed"), fields), fd);
    }

    Channel channel_;
    QTimer heartbeat_;
    QTimer frames_;
    qint64 delivered_ = 0;
    qint64 lastFrame_ = 0;
    bool preview_ = false;
    bool pending_ = false;
    int slot_ = 1;
    SharedMemory previewMemory_;
    QTemporaryFile shownFile_;
    bool truncateOnShown_ = false;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QFile starts(QString::fromLocal8Bit(qgetenv("LYING_CAMERA_STARTS")));
    if (!starts.fileName().isEmpty() && starts.open(QIODevice::Append))
        starts.write(QByteArray::number(qint64(::getpid())) + '\n');
    starts.close();
    // LYING_CAMERA_LOAD_MS: a slow start before the first word, like GStreamer building its
    // plugin registry on a fresh machine.
    QThread::msleep(qEnvironmentVariableIntValue("LYING_CAMERA_LOAD_MS"));
    LyingCamera camera{UniqueFd(3)};
    return app.exec();
}
