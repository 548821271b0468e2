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

// "Look in": the run's web page's link and its QR code for a phone, and a new key.
class LookInDialog : public QDialog {
    Q_OBJECT
public:
    LookInDialog(const LookIn& lookIn, QWidget* parent = nullptr);

    QLineEdit* txtLink = nullptr;
    QLabel* picCode = nullptr;
    QPushButton* cmdNewKey = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void showLink();
    void newKey();

    const LookIn& lookIn_;
    QLabel* lblProblem_ = nullptr;
};

} // namespace window
