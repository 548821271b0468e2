// The run's web page's link for a phone: the address, its QR code, a new key.
#include "window/look_in_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <qrencode.h>

namespace window {

QImage qrCode(const QString& text, int scale) {
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code) return {};
    constexpr int Quiet = 4; // modules of white around the code, as readers expect
    const int side = (code->width + 2 * Quiet) * scale;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x) {
            if ((code->data[y * code->width + x] & 1) == 0) continue;
            for (int dy = 0; dy < scale; ++dy) {
                uchar* line = image.scanLine((y + Quiet) * scale + dy);
                std::fill_n(line + (x + Quiet) * scale, scale, uchar(0));
            }
        }
    return image;
}

LookInDialog::LookInDialog(const LookIn& lookIn, QWidget* parent)
    : QDialog(parent), lookIn_(lookIn) {
    setWindowTitle(QStringLiteral("Look in"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("The run's page, for a phone or another computer. "
                                            "Anyone who has this link sees the pictures."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    picCode = new QLabel(this);
    picCode->setObjectName(QStringLiteral("picCode"));
    picCode->setAlignment(Qt::AlignCenter);
    picCode->setAccessibleName(QStringLiteral("QR code of the link"));
    layout->addWidget(picCode);
    auto* linkLabel = new QLabel(QStringLiteral("&Link:"), this);
    txtLink = new QLineEdit(this);
    txtLink->setObjectName(QStringLiteral("txtLink"));
    txtLink->setReadOnly(true);
    txtLink->setAccessibleName(QStringLiteral("Link"));
    linkLabel->setBuddy(txtLink);
    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(linkLabel);
    linkRow->addWidget(txtLink, 1);
    layout->addLayout(linkRow);
    lblProblem_ = new QLabel(this);
    lblProblem_->setWordWrap(true);
    lblProblem_->hide();
    layout->addWidget(lblProblem_);
    auto* buttons = new QHBoxLayout;
    cmdNewKey = new QPushButton(QStringLiteral("&New key"), this);
    cmdNewKey->setObjectName(QStringLiteral("cmdNewKey"));
    cmdNewKey->setAccessibleDescription(
        QStringLiteral("Makes a new link; the old one stops working at once"));
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setDefault(true);
    buttons->addWidget(cmdNewKey);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    layout->addLayout(buttons);
    connect(cmdNewKey, &QPushButton::clicked, this, &LookInDialog::newKey);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    showLink();
}

void LookInDialog::showLink() {
    const QString link = lookIn_.link ? lookIn_.link() : QString();
    txtLink->setText(link);
    txtLink->setCursorPosition(0);
    picCode->setPixmap(QPixmap::fromImage(qrCode(link, 4)));
}

void LookInDialog::newKey() {
    QString error;
    if (lookIn_.newKey && !lookIn_.newKey(&error)) {
        lblProblem_->setText(QStringLiteral("No new key: %1").arg(error));
        lblProblem_->show();
        return;
    }
    lblProblem_->hide();
    showLink();
}

} // namespace window
