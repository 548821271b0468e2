#pragma once

#include "camera_protocol/reply.h"
#include "camera_protocol/video_format.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

class QWidget;

namespace camera {
class FormatDialog;
}

namespace camera_process {

// The camera's formats as it told them, the one it runs in, the one a run taken up asks for,
// and the dialog the user chooses in: shown early while the camera opens, or built ahead of
// showing it.
class FormatChooser {
public:
    FormatChooser() = default;
    FormatChooser(const FormatChooser&) = delete;
    FormatChooser& operator=(const FormatChooser&) = delete;
    ~FormatChooser();

    // Another camera: nothing is known of it.
    void forget();
    // The camera's formats as it told them, and the one it runs in.
    void take(const reply::Formats& told);
    // The camera has been connected and told its formats (a network stream may list none).
    bool taken() const { return taken_; }

    const QList<camera::VideoFormat>& formats() const { return formats_; }
    int index() const { return index_; }
    std::optional<camera::VideoFormat> current() const;
    // The camera runs in formats()[index] now.
    void use(int index);
    // The index of the format of that label; -1: the camera has none.
    int find(const QString& label) const;
    // The label of the format a run taken up asks for, for a camera not met yet.
    const QString& wanted() const { return wanted_; }
    void setWanted(const QString& label) { wanted_ = label; }

    // The dialog on the screen at once, saying the camera is being opened.
    void showEarly(QWidget* parent);
    // The dialog for the formats now known: the early one filled in, or one built ahead (its
    // styles, fonts and sizes too, so that showing it only has to put it on the screen).
    void prepareDialog(QWidget* parent);
    bool hasDialog() const;
    // The dialog prepared, for showing now; null with none.
    std::unique_ptr<camera::FormatDialog> takeDialog();
    void dropDialog();

private:
    QList<camera::VideoFormat> formats_;
    int index_ = -1;
    QString wanted_;
    bool taken_ = false;
    QPointer<camera::FormatDialog> dialog_;
};

} // namespace camera_process
