// The start-up baseline: the least a Qt Widgets program does before its first dialog shows.
#include <QApplication>
#include <QDialog>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Empty Dialog"));
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
