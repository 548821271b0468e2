#include "camera_process/format_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace camera {

FormatDialog::FormatDialog(const QList<VideoFormat>& formats, int current, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
    setObjectName(QStringLiteral("formatDialog"));
    setWindowTitle(tr("Video Format"));
    setModal(true);

    auto* caption = new QLabel(tr("&Pixel format, size and frame rate:"), this);
    caption->setBuddy(list_);
    list_->setObjectName(QStringLiteral("formatList"));
    list_->setAccessibleName(tr("Video formats"));
    for (const VideoFormat& format : formats)
        list_->addItem(format.label());
    if (formats.isEmpty()) {
        // Some sources (a network stream) only tell their format once they play.
        auto* item = new QListWidgetItem(tr("As the camera delivers it"), list_);
        item->setFlags(Qt::ItemIsEnabled);
    }
    if (current >= 0 && current < list_->count()) list_->setCurrentRow(current);

    // Plain buttons: the standard ones look up themed icons, which alone took longer than
    // building the rest of the dialog at start-up.
    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    list_->setFocus();
    resize(340, 320);
}

int FormatDialog::selectedIndex() const {
    const QListWidgetItem* item = list_->currentItem();
    return item && (item->flags() & Qt::ItemIsSelectable) ? list_->row(item) : -1;
}

} // namespace camera
