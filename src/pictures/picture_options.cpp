#include "pictures/picture_options.h"

#include <array>

namespace pictures {

namespace {

struct FormatNames {
    PictureFormat format;
    const char* name;
    const char* extension;
};

constexpr std::array<FormatNames, 3> Formats{{
    {PictureFormat::Bmp, "BMP", "bmp"},
    {PictureFormat::Png, "PNG", "png"},
    {PictureFormat::Jpeg, "JPEG", "jpg"},
}};

const FormatNames& namesOf(PictureFormat format) {
    for (const FormatNames& names : Formats)
        if (names.format == format) return names;
    return Formats.front();
}

} // namespace

QString formatName(PictureFormat format) {
    return QLatin1String(namesOf(format).name);
}

QString formatExtension(PictureFormat format) {
    return QLatin1String(namesOf(format).extension);
}

std::optional<PictureFormat> formatNamed(const QString& name) {
    for (const FormatNames& names : Formats)
        if (name.compare(QLatin1String(names.name), Qt::CaseInsensitive) == 0) return names.format;
    return std::nullopt;
}

} // namespace pictures
