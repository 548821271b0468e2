#include "camera_process/camera_server.h"

#include "camera/gst_warm_up.h"
#include "camera/mapped_frame.h"
#include "camera/window_sink.h"
#include "camera_protocol/control_values.h"
#include "camera_protocol/wire_format.h"
#include "gst/gst_setup.h"

#include <QCborArray>
#include <cstring>

namespace camera_process {

using namespace std::chrono_literals;

CameraServer::CameraServer(UniqueFd socket, QObject* parent)
    : QObject(parent), channel_(std::move(socket)) {
    connect(&channel_, &Channel::received, this, &CameraServer::onMessage);
    connect(&channel_, &Channel::closed, this, &CameraServer::windowGone);
    connect(&engine_, &camera::CameraEngine::firstFrame, this,
            [this] { reply(Message(QStringLiteral("first-frame"))); });
    connect(&engine_, &camera::CameraEngine::previewFrame, this, &CameraServer::sendPreviewFrame);
    connect(&engine_, &camera::CameraEngine::failed, this, [this](const QString& reason) {
        reply(Message(QStringLiteral("failed"), {{QLatin1String("error"), reason}}));
    });
    connect(&engine_, &camera::CameraEngine::frozen, this, [this](quint64 fingerprint) {
        reply(Message(QStringLiteral("failed"),
                      {{QLatin1String("error"), QStringLiteral("the camera sends the same picture "
                                                               "for %1 s")
                                                    .arg(frozenAfter_.count())},
                       {QLatin1String("frozen"), qint64(fingerprint)}}));
    });
    connect(&engine_, &camera::CameraEngine::stillScene, this,
            [this] { reply(Message(QStringLiteral("still-scene"))); });
    connect(&status_, &QTimer::timeout, this, &CameraServer::sendStatus);
}

CameraServer::~CameraServer() = default;

void CameraServer::warmUp() {
    camera::warmUpGStreamer();
    engine_.prepareWindowSink();
    // Ready; a process in standby says nothing more until it is opened.
    reply(Message(QStringLiteral("ready")));
}

void CameraServer::reply(const Message& message, int fd) {
    // A window that does not read its messages will end this process; nothing to do here.
    if (channel_.send(message, fd) || !channel_.tooLarge()) return;
    // An answer too large for the socket (thousands of formats, say) is a fault the window
    // hears of, not a silence it would take for a hang.
    channel_.send(Message(
        QStringLiteral("failed"),
        {{QLatin1String("error"),
          QStringLiteral("The camera's answer (%1) is too large to send").arg(message.verb)}}));
}

void CameraServer::sendStatus() {
    // An error the X server reported (the preview's window gone, say) is a fault like any other:
    // the window replaces this process.
    if (const int errors = camera::WindowSink::xErrors(); errors != xErrorsSeen_) {
        xErrorsSeen_ = errors;
        reply(Message(QStringLiteral("failed"),
                      {{QLatin1String("error"),
                        QStringLiteral("The preview's window could not be drawn into")}}));
    }
    // With the moment of the newest frame: a status held up behind a grab's wait must not make
    // a camera that has gone silent look as if it had just delivered.
    const auto arrived = std::chrono::nanoseconds(engine_.lastFrameArrival().time_since_epoch());
    reply(Message(QStringLiteral("status"),
                  {{QLatin1String("frames"), qint64(engine_.framesDelivered())},
                   {QLatin1String("arrived"), qint64(arrived.count())}}));
}

void CameraServer::onMessage(const Message& message) {
    if (message.is(QLatin1String("open"))) {
        open(message);
    } else if (message.is(QLatin1String("connect"))) {
        connectCamera(message);
    } else if (message.is(QLatin1String("start"))) {
        start(message);
    } else if (message.is(QLatin1String("format"))) {
        changeFormat(message);
    } else if (message.is(QLatin1String("preview"))) {
        engine_.setPreview(message.flag(QLatin1String("on")),
                           int(message.number(QLatin1String("rate"))));
    } else if (message.is(QLatin1String("expose"))) {
        engine_.expose();
    } else if (message.is(QLatin1String("window"))) {
        // The preview's window was made anew: the sink draws into the new one.
        const quint64 window = quint64(message.number(QLatin1String("window")));
        if (window != 0 && camera::WindowSink::available()) engine_.setWindow(window);
    } else if (message.is(QLatin1String("grab"))) {
        grab(message);
    } else if (message.is(QLatin1String("controls"))) {
        reply(Message(QStringLiteral("controls"),
                      {{QLatin1String("controls"), controlsToWire(engine_.controls())}}));
    } else if (message.is(QLatin1String("set-control"))) {
        setControl(message);
    } else if (message.is(QLatin1String("apply-controls"))) {
        applyControls(message.fields.value(QLatin1String("values")).toMap());
    } else if (message.is(QLatin1String("hold"))) {
        hold();
    } else if (message.is(QLatin1String("shown"))) {
        if (message.number(QLatin1String("memory")) == previewGeneration_)
            windowSlot_ = int(message.number(QLatin1String("slot")));
        previewPending_ = false;
    } else {
        reply(Message(QStringLiteral("unknown"), {{QLatin1String("verb"), message.verb}}));
    }
}

void CameraServer::open(const Message& message) {
    const qint64 heartbeat = message.number(QLatin1String("heartbeat"), 500);
    status_.start(std::chrono::milliseconds(std::clamp<qint64>(heartbeat, 10, 1000)));
    const quint64 window = quint64(message.number(QLatin1String("window")));
    const bool draws = window != 0 && camera::WindowSink::available();
    engine_.setWindow(draws ? window : 0);
    frozenAfter_ = std::chrono::seconds(
        std::clamp<qint64>(message.number(QLatin1String("frozenAfter")), 0, 24 * 3600));
    const QCborValue frozeOn = message.fields.value(QLatin1String("frozeOn"));
    engine_.watchFrozen(frozenAfter_, frozeOn.isInteger()
                                          ? std::optional<quint64>(quint64(frozeOn.toInteger()))
                                          : std::nullopt);
    QString error;
    const std::optional<camera::DeviceIdentity> known =
        deviceFromWire(message.fields.value(QLatin1String("camera")).toMap());
    switch (engine_.find(message.text(QLatin1String("source")), known, &error)) {
    case camera::CameraEngine::Found::Camera: {
        QCborMap fields{{QLatin1String("label"), engine_.label()},
                        {QLatin1String("draws"), draws},
                        {QLatin1String("noControls"), engine_.noControlsReason()}};
        if (engine_.device())
            fields.insert(QLatin1String("camera"), deviceToWire(*engine_.device()));
        deviceWatch_.reset();
        reply(Message(QStringLiteral("found"), fields));
        return;
    }
    case camera::CameraEngine::Found::NoCamera:
        reply(Message(QStringLiteral("no-camera")));
        return;
    case camera::CameraEngine::Found::NotPluggedIn:
        // Told at once when a camera is plugged in, so the window need not wait for its retry.
        if (!deviceWatch_) {
            deviceWatch_ = std::make_unique<camera::DeviceWatch>();
            connect(deviceWatch_.get(), &camera::DeviceWatch::added, this,
                    [this] { reply(Message(QStringLiteral("device-added"))); });
            deviceWatch_->start();
        }
        reply(Message(QStringLiteral("not-plugged-in"), {{QLatin1String("error"), error}}));
        return;
    case camera::CameraEngine::Found::Invalid:
        reply(Message(QStringLiteral("invalid"), {{QLatin1String("error"), error}}));
        return;
    }
}

void CameraServer::connectCamera(const Message& message) {
    // The camera's settings are in force before its first frame.
    applyControls(message.fields.value(QLatin1String("controls")).toMap(), false);
    QList<camera::VideoFormat> formats;
    int chosen = -1;
    QString error;
    if (!engine_.open(&formats, &chosen, &error)) {
        reply(Message(QStringLiteral("connect-failed"), {{QLatin1String("error"), error}}));
        return;
    }
    // A camera first met after a loss is asked for the format of the run it serves.
    if (const QString wanted = message.text(QLatin1String("formatLabel")); !wanted.isEmpty()) {
        for (qsizetype i = 0; i < formats.size(); ++i) {
            if (formats[i].label() != wanted) continue;
            QString ignored;
            engine_.changeFormat(formats[i], std::chrono::milliseconds(0), &ignored);
            chosen = int(i);
            break;
        }
    }
    QCborArray list;
    for (const camera::VideoFormat& format : formats)
        list.append(formatToWire(format));
    // Sent before the camera has started, so the window can ready its format dialog meanwhile.
    reply(Message(QStringLiteral("formats"),
                  {{QLatin1String("formats"), list}, {QLatin1String("chosen"), chosen}}));
    const std::chrono::milliseconds timeout(message.number(QLatin1String("timeout"), 3000));
    if (!engine_.start(true, timeout, &error)) {
        reply(Message(QStringLiteral("connect-failed"), {{QLatin1String("error"), error}}));
        return;
    }
    reply(Message(QStringLiteral("connected")));
}

void CameraServer::start(const Message& message) {
    applyControls(message.fields.value(QLatin1String("controls")).toMap(), false);
    QString error;
    if (engine_.startIn(formatFromWire(message.fields.value(QLatin1String("format")).toMap()),
                        &error))
        reply(Message(QStringLiteral("started")));
    else
        reply(Message(QStringLiteral("start-failed"), {{QLatin1String("error"), error}}));
}

void CameraServer::changeFormat(const Message& message) {
    const std::optional<camera::VideoFormat> format =
        formatFromWire(message.fields.value(QLatin1String("format")).toMap());
    const std::chrono::milliseconds timeout(message.number(QLatin1String("timeout"), 3000));
    QString error;
    if (!format) {
        error = QStringLiteral("No such format");
    } else if (engine_.changeFormat(*format, timeout, &error)) {
        reply(Message(QStringLiteral("format-set")));
        return;
    }
    // The camera went back to the format before, if it could.
    reply(Message(QStringLiteral("format-failed"), {{QLatin1String("error"), error}}));
}

void CameraServer::grab(const Message& message) {
    const std::chrono::milliseconds timeout(message.number(QLatin1String("timeout"), 2000));
    const qint64 id = message.number(QLatin1String("id"));
    // Just after a reconnect: the frame comes from the end of the camera's warm-up.
    // The process goes on answering meanwhile (its status, other requests): a camera process
    // that slept through a long warm-up would be taken for one that hangs.
    const qint64 after = std::clamp<qint64>(message.number(QLatin1String("after")), 0, 10'000);
    if (after > 0) {
        QCborMap fields = message.fields;
        fields.remove(QLatin1String("after"));
        fields.remove(QLatin1String("asked")); // the wait counts from the warm-up's end
        QTimer::singleShot(std::chrono::milliseconds(after), this,
                           [this, fields] { grab(Message(QStringLiteral("grab"), fields)); });
        return;
    }
    // A frame that arrived after the window asked will do, even one that came while this
    // message was on its way, and the wait counts from the asking too: grabs asked while an
    // earlier one waited for a silent camera are each answered within their own time, as the
    // window expects them. Both processes read the same steady clock; a request without its
    // moment, or with one from the future, counts from now.
    const auto now = camera::FrameSlot::Clock::now();
    const qint64 askedNs = message.number(QLatin1String("asked"));
    auto asked = camera::FrameSlot::Clock::time_point(std::chrono::nanoseconds(askedNs));
    if (after > 0 || askedNs <= 0 || asked > now) asked = now;
    // Blocks the window has let go of may be written again.
    for (const QCborValue& freed : message.fields.value(QLatin1String("free")).toArray())
        for (GrabBlock& block : grabBlocks_)
            if (block.id == freed.toInteger()) block.free = true;
    GrabBlock* block = nullptr;
    SharedMemory unpooled;
    QSize size;
    qint64 captured = 0;
    QString error;
    // Copied once, straight from the camera's buffer into memory the window maps; the camera
    // has its buffer back at once, and the window encodes the file from these pixels.
    const bool grabbed = engine_.grab(
        asked, timeout,
        [&](const camera::PixelRows& image, const QDateTime& at) {
            const std::size_t row = std::size_t(image.size.width()) * 4;
            block = takeGrabBlock(row * std::size_t(image.size.height()), &unpooled, &error);
            SharedMemory& picture = block ? block->memory : unpooled;
            if (!picture.isValid()) return;
            for (int y = 0; y < image.size.height(); ++y)
                std::memcpy(picture.data() + row * std::size_t(y), image.row(y), row);
            size = image.size;
            captured = at.toMSecsSinceEpoch();
        },
        &error);
    SharedMemory& picture = block ? block->memory : unpooled;
    if (!grabbed || !picture.isValid()) {
        if (block) block->free = true;
        reply(Message(QStringLiteral("grab-failed"),
                      {{QLatin1String("id"), id}, {QLatin1String("error"), error}}));
        return;
    }
    // The block's descriptor goes along the first time only: the window keeps it mapped.
    const bool known = block && block->known;
    if (block) block->known = true;
    reply(Message(QStringLiteral("grabbed"), {{QLatin1String("id"), id},
                                              {QLatin1String("block"), block ? block->id : 0},
                                              {QLatin1String("bytes"), qint64(picture.size())},
                                              {QLatin1String("width"), size.width()},
                                              {QLatin1String("height"), size.height()},
                                              {QLatin1String("captured"), captured}}),
          known ? -1 : picture.fd());
}

CameraServer::GrabBlock* CameraServer::takeGrabBlock(std::size_t bytes, SharedMemory* unpooled,
                                                     QString* error) {
    for (GrabBlock& block : grabBlocks_)
        if (block.free && block.memory.size() == bytes) {
            block.free = false;
            return &block;
        }
    SharedMemory memory = SharedMemory::create(bytes, error);
    if (!memory.isValid()) return nullptr;
    // A few blocks are kept, their pages already in place on both sides; beyond that (the
    // window keeps many pictures, or the size changed) a block is used once.
    std::erase_if(grabBlocks_, [bytes](const GrabBlock& block) {
        return block.free && block.memory.size() != bytes;
    });
    if (grabBlocks_.size() >= MaxGrabBlocks) {
        *unpooled = std::move(memory);
        return nullptr;
    }
    grabBlocks_.push_back(GrabBlock{++lastGrabBlock_, std::move(memory), false, false});
    return &grabBlocks_.back();
}

void CameraServer::sendPreviewFrame() {
    if (previewPending_) return; // the window has not taken the last one yet
    const camera::MappedFrame frame(engine_.latestFrame());
    if (!frame.isValid()) return;
    const camera::PixelRows& image = frame.pixels();
    const qsizetype stride = qsizetype(image.size.width()) * 4;
    const std::size_t slotBytes = std::size_t(stride) * std::size_t(image.size.height());
    bool fresh = false;
    if (!preview_.isValid() || image.size != previewSize_) {
        QString error;
        preview_ = SharedMemory::create(slotBytes * 2, &error);
        if (!preview_.isValid()) return;
        previewSize_ = image.size;
        ++previewGeneration_;
        windowSlot_ = -1;
        fresh = true;
    }
    const int slot = windowSlot_ == 0 ? 1 : 0;
    unsigned char* out = preview_.data() + std::size_t(slot) * slotBytes;
    for (int y = 0; y < image.size.height(); ++y)
        std::memcpy(out + std::size_t(y) * std::size_t(stride), image.row(y), std::size_t(stride));
    previewPending_ = true;
    reply(Message(QStringLiteral("frame"), {{QLatin1String("slot"), slot},
                                            {QLatin1String("memory"), previewGeneration_},
                                            {QLatin1String("bytes"), qint64(preview_.size())},
                                            {QLatin1String("width"), image.size.width()},
                                            {QLatin1String("height"), image.size.height()}}),
          fresh ? preview_.fd() : -1);
}

namespace {

camera::SetControl setterFor(camera::CameraEngine& engine) {
    return [&engine](const camera::CameraControl& control, std::int64_t value, QString* error) {
        return engine.setControl(control.id, value, error);
    };
}

} // namespace

void CameraServer::setControl(const Message& message) {
    QString error;
    const auto id = std::uint32_t(message.number(QLatin1String("id")));
    const bool set = engine_.setControl(id, message.number(QLatin1String("value")), &error);
    // The whole list again: one control may change others (an automatic one, their flags).
    reply(Message(QStringLiteral("control-set"),
                  {{QLatin1String("id"), qint64(id)},
                   {QLatin1String("error"), set ? QString() : error},
                   {QLatin1String("controls"), controlsToWire(engine_.controls())}}));
}

void CameraServer::applyControls(const QCborMap& values, bool answer) {
    if (values.isEmpty() && !answer) return;
    const QStringList refused =
        camera::applyControlValues(engine_.controls(), valuesFromWire(values), setterFor(engine_));
    if (!refused.isEmpty() || answer)
        reply(Message(QStringLiteral("controls-applied"),
                      {{QLatin1String("refused"), QCborArray::fromStringList(refused)},
                       {QLatin1String("controls"), controlsToWire(engine_.controls())}}));
}

void CameraServer::hold() {
    const camera::HeldControls held =
        camera::holdAutomaticControls(engine_.controls(), setterFor(engine_));
    reply(Message(QStringLiteral("held"), {{QLatin1String("restore"), valuesToWire(held.restore)},
                                           {QLatin1String("held"), valuesToWire(held.held)}}));
}

} // namespace camera_process
