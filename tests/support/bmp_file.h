#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>
#include <cstdint>

// Reads a saved picture back byte by byte, independently of Qt's BMP reader, so the tests check
// the file layout itself.
class BmpFile {
public:
    explicit BmpFile(QByteArray bytes) : bytes_(std::move(bytes)) {}

    std::uint16_t u16(int offset) const {
        return std::uint16_t(byte(offset) | byte(offset + 1) << 8);
    }
    std::uint32_t u32(int offset) const {
        return std::uint32_t(u16(offset)) | std::uint32_t(u16(offset + 2)) << 16;
    }
    std::int32_t s32(int offset) const { return std::int32_t(u32(offset)); }

    qsizetype size() const { return bytes_.size(); }
    QByteArray magic() const { return bytes_.left(2); }
    std::int32_t width() const { return s32(18); }
    std::int32_t height() const { return s32(22); }
    int rowBytes() const { return (width() * 3 + 3) / 4 * 4; }

    // The pixel at (x, y) counted from the top of the picture, read from a bottom-up file.
    QColor pixel(int x, int y) const {
        const int offset = int(u32(10)) + (height() - 1 - y) * rowBytes() + x * 3;
        return QColor(byte(offset + 2), byte(offset + 1), byte(offset));
    }

private:
    int byte(int offset) const { return std::uint8_t(bytes_.at(offset)); }
    QByteArray bytes_;
};
