#include "controls/camera_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <limits>

namespace controls {

namespace {

using Kind = camera::CameraControl::Kind;

// Slider and number box of an integer control, kept in step.
class IntegerEditor : public QWidget {
public:
    IntegerEditor(const camera::CameraControl& control, QWidget* parent) : QWidget(parent) {
        slider = new QSlider(Qt::Horizontal, this);
        box = new QSpinBox(this);
        const int low =
            int(std::max<std::int64_t>(control.minimum, std::numeric_limits<int>::min()));
        const int high =
            int(std::min<std::int64_t>(control.maximum, std::numeric_limits<int>::max()));
        slider->setRange(low, high);
        box->setRange(low, high);
        const int step = int(std::clamp<std::int64_t>(control.step, 1, high - std::int64_t(low)));
        slider->setSingleStep(step);
        slider->setPageStep(std::max(step, int((std::int64_t(high) - low) / 10)));
        box->setSingleStep(step);
        box->setKeyboardTracking(false); // a typed number goes to the camera once, when done
        slider->setAccessibleName(control.name);
        box->setAccessibleName(control.name);
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(slider, 1);
        layout->addWidget(box);
        connect(slider, &QSlider::valueChanged, box, &QSpinBox::setValue);
        connect(box, &QSpinBox::valueChanged, slider, &QSlider::setValue);
    }
    void setValue(std::int64_t value) {
        const QSignalBlocker a(slider), b(box);
        slider->setValue(int(value));
        box->setValue(int(value));
    }
    QSlider* slider;
    QSpinBox* box;
};

} // namespace

CameraSettingsDialog::CameraSettingsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("cameraSettingsDialog"));
    setWindowTitle(tr("Camera Settings"));
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    body_ = new QWidget(scroll);
    groups_ = new QVBoxLayout(body_);
    scroll->setWidget(body_);

    hold_ = new QCheckBox(tr("Hold exposure, white balance and focus during a run"), this);
    hold_->setObjectName(QStringLiteral("holdDuringRun"));
    connect(hold_, &QCheckBox::toggled, this, &CameraSettingsDialog::holdChanged);

    storeProblem_ = new QLabel(this);
    storeProblem_->setObjectName(QStringLiteral("storeProblem"));
    storeProblem_->setWordWrap(true);
    storeProblem_->hide();

    auto* buttons = new QDialogButtonBox(this);
    auto* defaults = buttons->addButton(tr("Defaults"), QDialogButtonBox::ResetRole);
    defaults->setObjectName(QStringLiteral("defaults"));
    auto* close = buttons->addButton(tr("Close"), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(defaults, &QPushButton::clicked, this, &CameraSettingsDialog::defaultsRequested);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addWidget(hold_);
    layout->addWidget(storeProblem_);
    layout->addWidget(buttons);
    resize(560, 520);
}

void CameraSettingsDialog::showStoreProblem(const QString& problem) {
    storeProblem_->setText(problem.isEmpty()
                               ? QString()
                               : tr("%1 The settings hold until the program ends.").arg(problem));
    storeProblem_->setVisible(!problem.isEmpty());
}

void CameraSettingsDialog::setHold(bool hold) {
    const QSignalBlocker blocker(hold_);
    hold_->setChecked(hold);
}

void CameraSettingsDialog::showControls(const QList<camera::CameraControl>& controls,
                                        std::uint32_t refusedId, const QString& reason) {
    // Each row's editor is made for its control's kind: the same ids with another kind (a camera
    // process that changed its mind) are built anew too.
    QList<std::pair<std::uint32_t, camera::CameraControl::Kind>> ids;
    for (const camera::CameraControl& control : controls)
        ids << std::pair(control.id, control.kind);
    if (ids != order_) build(controls);
    for (const camera::CameraControl& control : controls) {
        auto it = rows_.find(control.id);
        if (it == rows_.end()) continue;
        refresh(*it, control);
        if (it->reason) {
            const bool refused = control.id == refusedId && !reason.isEmpty();
            it->reason->setText(refused ? reason : QString());
            it->reason->setVisible(refused);
        }
    }
}

void CameraSettingsDialog::build(const QList<camera::CameraControl>& controls) {
    // Rebuilt only when the driver lists other controls (another camera).
    while (QLayoutItem* item = groups_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    rows_.clear();
    order_.clear();
    QFormLayout* form = nullptr;
    QGroupBox* group = nullptr;
    for (const camera::CameraControl& control : controls) {
        order_ << std::pair(control.id, control.kind);
        if (control.kind == Kind::Class || !form) {
            group =
                new QGroupBox(control.kind == Kind::Class ? control.name : tr("Controls"), body_);
            form = new QFormLayout(group);
            groups_->addWidget(group);
            if (control.kind == Kind::Class) continue;
        }
        Row row;
        row.control = control;
        row.editor = makeEditor(control, group);
        row.reason = new QLabel(group);
        row.reason->setObjectName(QStringLiteral("reason"));
        row.reason->setStyleSheet(QStringLiteral("color: #c00000"));
        row.reason->setWordWrap(true);
        row.reason->hide();
        auto* cell = new QWidget(group);
        auto* line = new QVBoxLayout(cell);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(row.editor);
        line->addWidget(row.reason);
        auto* caption = new QLabel(control.name, group);
        caption->setBuddy(row.editor);
        form->addRow(caption, cell);
        rows_.insert(control.id, row);
    }
    groups_->addStretch(1);
}

QWidget* CameraSettingsDialog::makeEditor(const camera::CameraControl& control, QWidget* parent) {
    const std::uint32_t id = control.id;
    QWidget* editor = nullptr;
    switch (control.kind) {
    case Kind::Integer: {
        auto* integer = new IntegerEditor(control, parent);
        connect(integer->slider, &QSlider::valueChanged, this,
                [this, id](int value) { emit changeRequested(id, value); });
        editor = integer;
        break;
    }
    case Kind::Boolean: {
        auto* box = new QCheckBox(parent);
        connect(box, &QCheckBox::toggled, this,
                [this, id](bool on) { emit changeRequested(id, on ? 1 : 0); });
        editor = box;
        break;
    }
    case Kind::Menu:
    case Kind::IntegerMenu: {
        auto* combo = new QComboBox(parent);
        for (const auto& [index, name] : control.menu)
            combo->addItem(name, QVariant::fromValue(qlonglong(index)));
        connect(combo, &QComboBox::activated, this, [this, id, combo](int item) {
            emit changeRequested(id, combo->itemData(item).toLongLong());
        });
        editor = combo;
        break;
    }
    case Kind::Button: {
        auto* button = new QPushButton(control.name, parent);
        connect(button, &QPushButton::clicked, this, [this, id] { emit changeRequested(id, 1); });
        editor = button;
        break;
    }
    case Kind::Integer64:
    case Kind::Bitmask: {
        auto* line = new QLineEdit(parent);
        connect(line, &QLineEdit::editingFinished, this, [this, id, line, control] {
            bool ok = false;
            const qlonglong value = line->text().trimmed().toLongLong(&ok, 0);
            if (ok)
                emit changeRequested(id, value);
            else
                refresh(rows_[id], rows_[id].control); // not a number: back to the camera's
        });
        editor = line;
        break;
    }
    default: { // strings and kinds without an editor of their own are shown, not changed
        auto* line = new QLineEdit(parent);
        line->setReadOnly(true);
        editor = line;
        break;
    }
    }
    editor->setAccessibleName(control.name);
    return editor;
}

void CameraSettingsDialog::refresh(Row& row, const camera::CameraControl& control) {
    row.control = control;
    QWidget* editor = row.editor;
    // Greyed out: made inactive by an automatic control (it follows its value), or read-only.
    editor->setEnabled(!control.inactive && !control.readOnly);
    const QSignalBlocker blocker(editor);
    switch (control.kind) {
    case Kind::Integer:
        static_cast<IntegerEditor*>(editor)->setValue(control.value);
        break;
    case Kind::Boolean:
        static_cast<QCheckBox*>(editor)->setChecked(control.value != 0);
        break;
    case Kind::Menu:
    case Kind::IntegerMenu: {
        auto* combo = static_cast<QComboBox*>(editor);
        combo->setCurrentIndex(combo->findData(QVariant::fromValue(qlonglong(control.value))));
        break;
    }
    case Kind::Integer64:
        static_cast<QLineEdit*>(editor)->setText(QString::number(control.value));
        break;
    case Kind::Bitmask:
        static_cast<QLineEdit*>(editor)->setText(QStringLiteral("0x%1").arg(
            quint64(control.value) & 0xffffffffu, 8, 16, QLatin1Char('0')));
        break;
    case Kind::String:
        static_cast<QLineEdit*>(editor)->setText(control.text);
        break;
    default:
        break;
    }
}

} // namespace controls
