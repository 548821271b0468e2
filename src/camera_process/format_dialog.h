#pragma once

#include "camera_protocol/video_format.h"

#include <QDialog>
#include <QKeyEvent>
#include <QList>
#include <memory>
#include <vector>

class QListWidget;
class QPushButton;

namespace camera {

// The modal "Video Format" dialog: the formats the camera offers, the current one selected.
// Enter or a double click takes the selected one.
class FormatDialog : public QDialog {
    Q_OBJECT
public:
    // Without formats yet: the list says the camera is being opened, and OK waits for them.
    explicit FormatDialog(QWidget* parent = nullptr);
    FormatDialog(const QList<VideoFormat>& formats, int current, QWidget* parent = nullptr);

    // Lists `formats` (in place of what the list held), `current` selected.
    void setFormats(const QList<VideoFormat>& formats, int current);

    // The selected entry, or -1 when there is none.
    int selectedIndex() const;
    // Closed by the user (OK, Cancel, Escape, the window's close button) since it was shown:
    // result() then holds the answer.
    bool answered() const { return answered_; }

private:
    // An entry that only tells something: it cannot be chosen.
    void addNote(const QString& text);
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Keys typed while the camera opens, given to the list once it is filled. However they
    // reach the dialog (the accessibility bridge hands keys back later, from the event loop),
    // none is spent on the empty list.
    std::vector<std::unique_ptr<QKeyEvent>> heldKeys_;

    QListWidget* list_;
    QPushButton* ok_;
    bool answered_ = false;
};

} // namespace camera
