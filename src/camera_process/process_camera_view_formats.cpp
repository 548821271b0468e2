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

void ProcessCameraView::videoFormatDialog() {
    if (!preview_) return;
    if (!chooser_.hasDialog()) prepareFormatDialog();
    const std::unique_ptr<camera::FormatDialog> dialog = chooser_.takeDialog();
    if (!dialog) return;
    // Shown early, it may have been answered while the camera opened.
    const int result = dialog->answered() ? dialog->result() : dialog->exec();
    if (result != QDialog::Accepted) return;
    switchFormat(dialog->selectedIndex());
}

void ProcessCameraView::switchFormat(int chosen) {
    const QList<camera::VideoFormat>& formats = chooser_.formats();
    if (chosen < 0 || chosen == chooser_.index() || chosen >= formats.size()) return;
    if (link_ != Link::Streaming) {
        // Not running: the next start uses it.
        chooser_.use(chosen);
        return;
    }
    forgetGrab(); // a picture grabbed in the old format is not saved in the new one's place
    Reply answer;
    QString error;
    // Part of start-up (the dialog comes before the window shows), so waiting is fine here.
    if (!request(Message(QStringLiteral("format"),
                         {{QLatin1String("format"), formatToWire(formats[chosen])},
                          {QLatin1String("timeout"), qint64(timing_.startTimeout.count())}}),
                 {"format-set", "format-failed"}, timing_.startTimeout * 2 + 2s, &answer, &error)) {
        happen(host_.talking() ? LinkEvent::NoAnswer : LinkEvent::ProcessGone, error);
        return;
    }
    lastProgress_ = std::chrono::steady_clock::now();
    if (const auto* set = std::get_if<reply::Event>(&answer);
        set && set->what == reply::Said::FormatSet) {
        chooser_.use(chosen);
        qCDebug(cameraLog) << "the camera runs in" << formats[chosen].label();
    }
    // Refused: the camera process went back to the format before; if that failed too, the
    // camera is silent and the watchdog finds it lost.
}

bool ProcessCameraView::useVideoFormat(const QString& label) {
    chooser_.dropDialog(); // not asked: the run being taken up says which
    // A camera not met yet (waited for) is opened in it once it is there.
    chooser_.setWanted(label);
    const int index = chooser_.find(label);
    if (index < 0) return false;
    switchFormat(index);
    return chooser_.index() == index;
}

} // namespace camera_process
