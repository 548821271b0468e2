#include "camera/bmp_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

namespace camera {

namespace {

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

} // namespace

bool writeBmp(const QImage& image, const QString& path, QString* error) {
    if (image.isNull()) return fail(error, QStringLiteral("There is no picture to save"));
    const QFileInfo target(path);
    if (!target.dir().exists())
        return fail(error, QStringLiteral("No such directory: %1")
                               .arg(QDir::toNativeSeparators(target.absolutePath())));

    // Qt's BMP writer gives 24 bits per pixel for every image deeper than 8 bits, but keeps a
    // palette for indexed ones and an alpha-less layout only for opaque formats: settle it here.
    const QImage opaque = image.format() == QImage::Format_RGB32
                              ? image
                              : image.convertToFormat(QImage::Format_RGB32);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
    QImageWriter writer(&file, "bmp");
    if (!writer.write(opaque)) {
        const QString reason =
            file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        file.cancelWriting();
        return fail(
            error,
            QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason));
    }
    if (!file.commit())
        return fail(error, QStringLiteral("Cannot write %1: %2")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
    return true;
}

} // namespace camera
