// The camera view's formats: the dialog the user chooses in, and the camera started in the
// chosen one.
#include "camera_process/format_dialog.h"
#include "camera_process/preview_widget.h"
#include "camera_process/process_camera_view.h"
#include "camera_process/view_shared.h"
#include "camera_protocol/wire_format.h"

namespace camera_process {

using namespace std::chrono_literals;

void ProcessCameraView::prepareFormatDialog() {
    if (preview_) chooser_.prepareDialog(preview_->window());
}

void ProcessCameraView::formatChosenSoon() {
    QMetaObject::invokeMethod(this, &ProcessCameraView::formatChosen, Qt::QueuedConnection);
}

void ProcessCameraView::videoFormatDialog() {
    if (!preview_) {
        formatChosenSoon();
        return;
    }
    if (!chooser_.hasDialog()) prepareFormatDialog();
    std::unique_ptr<camera::FormatDialog> dialog = chooser_.takeDialog();
    if (!dialog) {
        formatChosenSoon();
        return;
    }
    // Shown early, it may have been answered while the camera opened.
    if (dialog->answered()) {
        switchFormat(dialog->result() == QDialog::Accepted ? dialog->selectedIndex() : -1);
        return;
    }
    // Without an event loop of its own: the answer comes as the dialog's end.
    camera::FormatDialog* shown = dialog.release();
    connect(shown, &QDialog::finished, this, [this, shown](int result) {
        shown->deleteLater();
        switchFormat(result == QDialog::Accepted ? shown->selectedIndex() : -1);
    });
    shown->show(); // modal of its own making
}

void ProcessCameraView::switchFormat(int chosen) {
    const QList<camera::VideoFormat>& formats = chooser_.formats();
    if (chosen < 0 || chosen == chooser_.index() || chosen >= formats.size()) {
        formatChosenSoon();
        return;
    }
    if (link_ != Link::Streaming) {
        // Not running: the next start uses it.
        chooser_.use(chosen);
        formatChosenSoon();
        return;
    }
    forgetGrab(); // a picture grabbed in the old format is not saved in the new one's place
    // The camera process restarts its camera meanwhile and says nothing: the watchdog waits
    // for the answer, which has its own limit.
    switching_ = true;
    const quint64 process = processSerial_;
    ask(Message(QStringLiteral("format"),
                {{QLatin1String("format"), formatToWire(formats[chosen])},
                 {QLatin1String("timeout"), qint64(timing_.startTimeout.count())}}),
        {"format-set", "format-failed"}, timing_.startTimeout * 2 + 2s,
        [this, chosen, process](const Reply* answer, const QString& error) {
            switching_ = false;
            alive_.progressNow();
            if (!answer) {
                // One that is gone has been seen to by now; one that is silent or says
                // nonsense is ended.
                if (process == processSerial_ && host_.talking())
                    happen(LinkEvent::NoAnswer, error);
            } else if (const auto* set = std::get_if<reply::Event>(answer);
                       set && set->what == reply::Said::FormatSet) {
                chooser_.use(chosen);
                qCDebug(cameraLog) << "the camera runs in" << chooser_.formats()[chosen].label();
            }
            // Refused: the camera process went back to the format before; if that failed too,
            // the camera is silent and the watchdog finds it lost.
            releaseHeldGrabs();
            emit formatChosen();
        });
}

void ProcessCameraView::releaseHeldGrabs() {
    switching_ = false;
    for (const qint64 ticket : std::exchange(heldGrabs_, {}))
        requestGrab(ticket);
}

bool ProcessCameraView::useVideoFormat(const QString& label) {
    chooser_.dropDialog(); // not asked: the run being taken up says which
    // A camera not met yet (waited for) is opened in it once it is there.
    chooser_.setWanted(label);
    const int index = chooser_.find(label);
    if (index < 0) {
        formatChosenSoon();
        return false;
    }
    switchFormat(index);
    return true;
}

} // namespace camera_process
