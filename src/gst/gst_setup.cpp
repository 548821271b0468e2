#include "gst/gst_setup.h"

#include "gst/gst_ptr.h"

#include <mutex>

namespace gst {

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
    // The debug details end, after the element's path, with a line a user can act on:
    // "system error: Permission denied", "streaming stopped, reason not-negotiated (-4)".
    const QString details = debug ? QString::fromUtf8(debug.get()).trimmed() : QString();
    QString reason =
        details.contains(QLatin1Char('\n')) ? details.section(QLatin1Char('\n'), -1) : QString();
    reason.remove(QStringLiteral("system error: "));
    if (!reason.isEmpty() && !text.contains(reason)) text += QStringLiteral(" (%1)").arg(reason);
    return text;
}

} // namespace gst
