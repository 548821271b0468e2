#pragma once

#include <QWidget>
#include <array>

class QLabel;

namespace window {

// What the window says of the run below the panel, a line (or more) each: the run's times and
// the next picture, its folder, and its notes. A line shows only while it has something to say,
// wraps rather than being cut off, and reads whole through the accessibility interface. The
// window makes room for it (heightFor()).
class StatusArea : public QWidget {
    Q_OBJECT
public:
    enum Line {
        Times,  // started, last picture; the next picture or why none is due
        Folder, // where the run's pictures go
        Resume, // taken up again after the program ended, or why it could not be
        Sleep,  // the computer may sleep during the run
        Log,    // the run's log cannot be written
        Camera, // the camera is lost, and why
        Lines
    };

    explicit StatusArea(QWidget* parent);

    void setText(Line line, const QString& text);
    QString text(Line line) const;
    QLabel* label(Line line) const { return labels_[line]; }
    // The height the shown lines take at `width`; 0 with none shown.
    int heightFor(int width) const;

signals:
    // A line came or went, or its text changed: the window's room for it may have to change.
    void changed();

private:
    std::array<QLabel*, Lines> labels_{};
};

} // namespace window
