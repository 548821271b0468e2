#pragma once

#include "window/look_in.h"

#include <QDialog>
#include <QImage>

class QLabel;
class QLineEdit;
class QPushButton;

namespace window {

// The QR code of `text`, `scale` pixels a module, with the quiet zone around it; a null image
// when the text does not fit a QR code.
QImage qrCode(const QString& text, int scale);

// Whether `link` names this computer itself (127.0.0.0/8, ::1, localhost): no other device can
// open it.
bool onlyThisComputer(const QString& link);

// "Look in": the run's web page's link and its QR code for a phone, and a new key.
class LookInDialog : public QDialog {
    Q_OBJECT
public:
    LookInDialog(const LookIn& lookIn, QWidget* parent = nullptr);

    QLineEdit* txtLink = nullptr;
    QLabel* picCode = nullptr;
    QPushButton* cmdNewKey = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdCopy = nullptr;
    QLabel* lblOnlyHere = nullptr; // shown while the link is one only this computer can open

private:
    void showLink();
    void newKey();
    void copyLink();

    const LookIn& lookIn_;
    QLabel* lblProblem_ = nullptr;
};

} // namespace window
