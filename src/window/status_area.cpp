#include "window/status_area.h"

#include <QLabel>
#include <QVBoxLayout>

namespace window {

namespace {

// What each line is, for a screen reader (its name is the line's whole text).
constexpr const char* Descriptions[StatusArea::Lines] = {
    "The run's times", "The run's folder", "How the run was taken up",
    "Sleep",           "The run's log",    "The camera"};
constexpr const char* Names[StatusArea::Lines] = {"lblRunInfo",   "lblRunFolder", "lblRunNote",
                                                  "lblSleepNote", "lblLogNote",   "lblCameraNote"};

} // namespace

StatusArea::StatusArea(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("statusArea"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int line = 0; line < Lines; ++line) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(Names[line]));
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // The folder's path may be copied; no line takes the keyboard's focus.
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAccessibleDescription(QLatin1String(Descriptions[line]));
        label->hide();
        layout->addWidget(label);
        labels_[line] = label;
    }
    hide();
}

void StatusArea::setText(Line line, const QString& text) {
    QLabel* label = labels_[line];
    if (label->text() == text && label->isHidden() == text.isEmpty()) return;
    label->setText(text);
    label->setAccessibleName(text);
    label->setHidden(text.isEmpty());
    bool any = false;
    for (const QLabel* each : labels_)
        any = any || !each->isHidden();
    setVisible(any);
    emit changed();
}

QString StatusArea::text(Line line) const {
    return labels_[line]->text();
}

int StatusArea::heightFor(int width) const {
    if (isHidden()) return 0;
    return layout()->totalHeightForWidth(width);
}

} // namespace window
