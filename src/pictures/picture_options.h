#pragma once

#include <QString>
#include <optional>

namespace pictures {

// The file formats a picture can be saved in. BMP is the default and what the program always
// wrote.
enum class PictureFormat { Bmp, Png, Jpeg };

// "BMP", "PNG", "JPEG": as the window and Config.ini name them.
QString formatName(PictureFormat format);
// "bmp", "png", "jpg": the file name's extension.
QString formatExtension(PictureFormat format);
// A format by its name, in any case; nothing for another name.
std::optional<PictureFormat> formatNamed(const QString& name);

inline const QString DefaultTimeStampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// How pictures are saved: the format, the JPEG quality, and the optional time stamp.
struct PictureOptions {
    PictureFormat format = PictureFormat::Bmp;
    int jpegQuality = 90; // 1 to 100
    bool timeStamp = false;
    QString timeStampFormat = DefaultTimeStampFormat; // a Qt date-time format
};

} // namespace pictures
