#include "camera_process/format_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace camera {

FormatDialog::FormatDialog(QWidget* parent) : QDialog(parent), list_(new QListWidget(this)) {
    setObjectName(QStringLiteral("formatDialog"));
    setWindowTitle(tr("Video Format"));
    setModal(true);

    auto* caption = new QLabel(tr("&Pixel format, size and frame rate:"), this);
    caption->setBuddy(list_);
    list_->setObjectName(QStringLiteral("formatList"));
    list_->setAccessibleName(tr("Video formats"));
    addNote(tr("Opening the camera…"));

    // Plain buttons: the standard ones look up themed icons, which alone took longer than
    // building the rest of the dialog at start-up.
    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    ok_->setDefault(true);
    ok_->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(this, &QDialog::finished, this, [this] { answered_ = true; });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    list_->setFocus();
    list_->installEventFilter(this);
    installEventFilter(this);
    resize(340, 320);
}

bool FormatDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || ok_->isEnabled())
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    // Escape closes the dialog at once, as Cancel does meanwhile.
    if (key->key() == Qt::Key_Escape) return QDialog::eventFilter(watched, event);
    heldKeys_.push_back(std::unique_ptr<QKeyEvent>(key->clone()));
    return true;
}

FormatDialog::FormatDialog(const QList<VideoFormat>& formats, int current, QWidget* parent)
    : FormatDialog(parent) {
    setFormats(formats, current);
}

void FormatDialog::setFormats(const QList<VideoFormat>& formats, int current) {
    list_->clear();
    for (const VideoFormat& format : formats)
        list_->addItem(format.label());
    // Some sources (a network stream) only tell their format once they play.
    if (formats.isEmpty()) addNote(tr("As the camera delivers it"));
    if (current >= 0 && current < list_->count()) list_->setCurrentRow(current);
    ok_->setEnabled(true);
    for (const std::unique_ptr<QKeyEvent>& key : std::exchange(heldKeys_, {})) {
        if (answered_) break;
        QCoreApplication::sendEvent(list_, key.get());
    }
}

void FormatDialog::addNote(const QString& text) {
    auto* item = new QListWidgetItem(text, list_);
    item->setFlags(Qt::ItemIsEnabled);
}

int FormatDialog::selectedIndex() const {
    const QListWidgetItem* item = list_->currentItem();
    return item && (item->flags() & Qt::ItemIsSelectable) ? list_->row(item) : -1;
}

} // namespace camera
