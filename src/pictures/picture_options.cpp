#include "pictures/picture_options.h"

namespace pictures {

QString formatName(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return QStringLiteral("PNG");
    case PictureFormat::Jpeg:
        return QStringLiteral("JPEG");
    case PictureFormat::Bmp:
        break;
    }
    return QStringLiteral("BMP");
}

QString formatExtension(PictureFormat format) {
    switch (format) {
    case PictureFormat::Png:
        return QStringLiteral("png");
    case PictureFormat::Jpeg:
        return QStringLiteral("jpg");
    case PictureFormat::Bmp:
        break;
    }
    return QStringLiteral("bmp");
}

std::optional<PictureFormat> formatNamed(const QString& name) {
    for (PictureFormat format : {PictureFormat::Bmp, PictureFormat::Png, PictureFormat::Jpeg})
        if (name.compare(formatName(format), Qt::CaseInsensitive) == 0) return format;
    return std::nullopt;
}

} // namespace pictures
