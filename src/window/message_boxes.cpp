#include "window/message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace window {

void QtMessageBoxes::show(const QString& text, const QString& title, Icon icon) {
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::Information,
                    title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

} // namespace window
