#include "camera_process/format_chooser.h"

#include "camera_process/format_dialog.h"

#include <QLayout>

namespace camera_process {

FormatChooser::~FormatChooser() {
    dropDialog();
}

void FormatChooser::forget() {
    formats_.clear();
    index_ = -1;
    taken_ = false;
}

void FormatChooser::take(const reply::Formats& told) {
    taken_ = true;
    formats_ = told.formats;
    index_ = told.chosen < formats_.size() ? told.chosen : -1;
}

std::optional<camera::VideoFormat> FormatChooser::current() const {
    if (index_ < 0 || index_ >= formats_.size()) return std::nullopt;
    return formats_[index_];
}

void FormatChooser::use(int index) {
    if (index >= 0 && index < formats_.size()) index_ = index;
}

int FormatChooser::find(const QString& label) const {
    for (int i = 0; i < formats_.size(); ++i)
        if (formats_[i].label() == label) return i;
    return -1;
}

void FormatChooser::showEarly(QWidget* parent) {
    dropDialog();
    dialog_ = new camera::FormatDialog(parent);
    dialog_->show();
}

void FormatChooser::prepareDialog(QWidget* parent) {
    if (dialog_) {
        dialog_->setFormats(formats_, index_);
        return;
    }
    dialog_ = new camera::FormatDialog(formats_, index_, parent);
    dialog_->ensurePolished();
    dialog_->layout()->activate();
}

bool FormatChooser::hasDialog() const {
    return !dialog_.isNull();
}

std::unique_ptr<camera::FormatDialog> FormatChooser::takeDialog() {
    std::unique_ptr<camera::FormatDialog> dialog(dialog_.data());
    dialog_.clear();
    return dialog;
}

void FormatChooser::dropDialog() {
    delete dialog_.data();
}

} // namespace camera_process
