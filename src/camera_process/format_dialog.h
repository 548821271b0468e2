#pragma once

#include "camera_protocol/video_format.h"

#include <QDialog>
#include <QList>

class QListWidget;

namespace camera {

// The modal "Video Format" dialog: the formats the camera offers, the current one selected.
// Enter or a double click takes the selected one.
class FormatDialog : public QDialog {
    Q_OBJECT
public:
    FormatDialog(const QList<VideoFormat>& formats, int current, QWidget* parent = nullptr);

    // The selected entry, or -1 when there is none.
    int selectedIndex() const;

private:
    QListWidget* list_;
};

} // namespace camera
