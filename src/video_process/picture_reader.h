#pragma once

#include <QSize>
#include <QString>
#include <gst/gst.h>

namespace video_process {

// Reads the pictures of a run as video frames in 24-bit BGR rows (GStreamer's "BGR", rows
// padded to 4 bytes), all of one size: the first picture sets it, odd sides cropped to even
// (H.264 in 4:2:0 needs even sides; a 1-pixel side is padded), and later pictures of another
// size are scaled to it, so every readable picture becomes a frame. Plain 24-bit BMP files, as
// the program saves them, are read straight into the frame; anything else goes through Qt's
// image reader. A damaged picture is not read: a file shorter than its BMP header says, a JPEG
// without its end marker, or one Qt's reader fails on part-way (a PNG cut short).
class PictureReader {
public:
    // The frame of the picture at `path`, or null when it is not a readable picture.
    GstBuffer* read(const QString& path);
    // The frames' size; empty until a picture was read.
    QSize size() const { return size_; }

private:
    GstBuffer* readWithQt(const QString& path);

    QSize firstSize_, size_;
};

} // namespace video_process
