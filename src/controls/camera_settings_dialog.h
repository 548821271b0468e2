#pragma once

#include "camera_protocol/camera_control.h"

#include <QDialog>
#include <QHash>
#include <QList>

class QCheckBox;
class QLabel;
class QVBoxLayout;

namespace controls {

// The "Camera Settings" dialog: the camera's own controls as its driver lists them, grouped by
// the driver's control classes and named as the driver names them. Integers are a slider with a
// number box, booleans check boxes, menus combo boxes, buttons buttons. It only shows: a change
// is asked for with changeRequested(), and shows once the camera's new state comes back
// (show()), so the dialog never claims a value the driver refused.
class CameraSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit CameraSettingsDialog(QWidget* parent = nullptr);

    // The controls now; `refusedId`'s row shows `reason` (the driver's), all others none.
    void showControls(const QList<camera::CameraControl>& controls, std::uint32_t refusedId = 0,
                      const QString& reason = {});
    void setHold(bool hold);
    // Why the settings cannot be kept for the next start (Cameras.ini cannot be written); empty
    // when they can.
    void showStoreProblem(const QString& problem);

signals:
    void changeRequested(std::uint32_t id, std::int64_t value);
    void defaultsRequested();
    void holdChanged(bool hold);

private:
    struct Row {
        camera::CameraControl control;
        QWidget* editor = nullptr; // the widget the value is changed with
        QLabel* reason = nullptr;
    };
    void build(const QList<camera::CameraControl>& controls);
    QWidget* makeEditor(const camera::CameraControl& control, QWidget* parent);
    void refresh(Row& row, const camera::CameraControl& control);

    QWidget* body_ = nullptr;
    QVBoxLayout* groups_ = nullptr;
    QCheckBox* hold_ = nullptr;
    QLabel* storeProblem_ = nullptr;
    // The ids and kinds of the controls shown, in the driver's order.
    QList<std::pair<std::uint32_t, camera::CameraControl::Kind>> order_;
    QHash<std::uint32_t, Row> rows_;
};

} // namespace controls
