#include "window/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace window {

void QtMessageBoxes::show(const QString& text, const QString& title, Icon icon) {
    const QMessageBox::Icon shown = icon == Icon::Critical  ? QMessageBox::Critical
                                    : icon == Icon::Warning ? QMessageBox::Warning
                                                            : QMessageBox::Information;
    QMessageBox box(shown, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace window
