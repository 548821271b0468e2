// The run's web page's link for a phone: the address, its QR code, a new key.
#include "window/look_in_dialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <arpa/inet.h>
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

bool onlyThisComputer(const QString& link) {
    const QString host = QUrl(link).host().toLower();
    if (host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")))
        return true;
    const QByteArray bytes = host.toLatin1();
    in_addr v4{};
    in6_addr v6{};
    if (::inet_pton(AF_INET, bytes.constData(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (::inet_pton(AF_INET6, bytes.constData(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
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
    // Copy and the note in rows of their own under the buttons: a third button in the buttons'
    // row would widen the dialog and move what was there before.
    cmdCopy = new QPushButton(QStringLiteral("&Copy"), this);
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    cmdCopy->setAccessibleName(QStringLiteral("Copy the link"));
    cmdCopy->setAccessibleDescription(QStringLiteral("Puts the link on the clipboard"));
    auto* copyRow = new QHBoxLayout;
    copyRow->addWidget(cmdCopy);
    copyRow->addStretch(1);
    layout->addLayout(copyRow);
    lblOnlyHere = new QLabel(
        QStringLiteral("This link works only on this computer: a phone cannot open it. For a "
                       "phone on the same network, set WebAddress=0.0.0.0 in Config.ini and "
                       "start the program again."),
        this);
    lblOnlyHere->setObjectName(QStringLiteral("lblOnlyHere"));
    lblOnlyHere->setWordWrap(true);
    // The note takes the width the dialog has; it never widens it.
    QSizePolicy notePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    notePolicy.setHeightForWidth(true);
    lblOnlyHere->setSizePolicy(notePolicy);
    lblOnlyHere->hide();
    layout->addWidget(lblOnlyHere);
    connect(cmdNewKey, &QPushButton::clicked, this, &LookInDialog::newKey);
    connect(cmdCopy, &QPushButton::clicked, this, &LookInDialog::copyLink);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    showLink();
}

void LookInDialog::showLink() {
    const QString link = lookIn_.link ? lookIn_.link() : QString();
    txtLink->setText(link);
    txtLink->setCursorPosition(0);
    picCode->setPixmap(QPixmap::fromImage(qrCode(link, 4)));
    lblOnlyHere->setVisible(onlyThisComputer(link));
}

void LookInDialog::copyLink() {
    QGuiApplication::clipboard()->setText(txtLink->text());
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
