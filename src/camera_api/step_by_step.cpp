#include "camera_api/step_by_step.h"

#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace camera {

namespace {

// Runs an event loop until `signal` of `view` comes (true) or `limit` passes (false).
template <class Signal, class Slot>
bool waitFor(CameraView& view, Signal signal, Slot slot, std::chrono::milliseconds limit,
             const std::function<void()>& start) {
    QEventLoop loop;
    bool came = false;
    const QMetaObject::Connection connection =
        QObject::connect(&view, signal, &loop, [&](auto&&... args) {
            slot(args...);
            came = true;
            loop.quit();
        });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    start();
    if (!came) loop.exec();
    QObject::disconnect(connection);
    return came;
}

} // namespace

QWidget* createAndWait(CameraView& view, QWidget* parent, QSize size, const QString& source,
                       QString* error, std::chrono::milliseconds limit) {
    QWidget* created = nullptr;
    QString said = QStringLiteral("No answer from the camera view");
    waitFor(
        view, &CameraView::created,
        [&](QWidget* widget, const QString& why) {
            created = widget;
            said = why;
        },
        limit, [&] { view.create(parent, size, source); });
    if (error) *error = said;
    return created;
}

bool connectAndWait(CameraView& view, QString* error, std::chrono::milliseconds limit) {
    QString said = QStringLiteral("No answer from the camera view");
    waitFor(
        view, &CameraView::connected, [&](const QString& why) { said = why; }, limit,
        [&] { view.connectDriver(); });
    if (error) *error = said;
    return said.isEmpty();
}

void formatDialogAndWait(CameraView& view, std::chrono::milliseconds limit) {
    waitFor(
        view, &CameraView::formatChosen, [] {}, limit, [&] { view.videoFormatDialog(); });
}

bool useFormatAndWait(CameraView& view, const QString& label, std::chrono::milliseconds limit) {
    bool offered = false;
    waitFor(
        view, &CameraView::formatChosen, [] {}, limit,
        [&] { offered = view.useVideoFormat(label); });
    return offered;
}

} // namespace camera
