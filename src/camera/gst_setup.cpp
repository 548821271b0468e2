#include "camera/gst_setup.h"

#include "camera/gst_ptr.h"

#include <mutex>

namespace camera {

namespace {

std::mutex initMutex;
bool initialised = false;
QString initFailure;

bool initOnce(int* argc, char*** argv, QString* error) {
    std::lock_guard lock(initMutex);
    if (!initialised && initFailure.isEmpty()) {
        GError* raw = nullptr;
        if (gst_init_check(argc, argv, &raw)) {
            initialised = true;
        } else {
            ErrorPtr failure(raw);
            initFailure = QStringLiteral("GStreamer cannot start: %1")
                              .arg(failure ? QString::fromUtf8(failure->message)
                                           : QStringLiteral("unknown reason"));
        }
    }
    if (!initialised && error) *error = initFailure;
    return initialised;
}

} // namespace

bool initGStreamer(int* argc, char*** argv, QString* error) {
    return initOnce(argc, argv, error);
}

bool ensureGStreamer(QString* error) {
    return initOnce(nullptr, nullptr, error);
}

QString describeErrorMessage(GstMessage* message) {
    GError* raw = nullptr;
    gchar* rawDebug = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        gst_message_parse_error(message, &raw, &rawDebug);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING)
        gst_message_parse_warning(message, &raw, &rawDebug);
    ErrorPtr error(raw);
    GCharPtr debug(rawDebug);
    QString text = error ? QString::fromUtf8(error->message) : QStringLiteral("Unknown error");
    // Elements put the errno text after this marker; it is the part a user can act on.
    const QString details = debug ? QString::fromUtf8(debug.get()) : QString();
    const QString marker = QStringLiteral("system error: ");
    const qsizetype at = details.indexOf(marker);
    if (at >= 0) {
        const QString reason = details.mid(at + marker.size()).section(QLatin1Char('\n'), 0, 0);
        if (!reason.isEmpty() && !text.contains(reason))
            text += QStringLiteral(" (%1)").arg(reason);
    }
    return text;
}

} // namespace camera
