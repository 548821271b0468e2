#pragma once

#include <QString>

namespace window {

// The one way the program talks to the user in a modal box: a text, a title, an icon and a
// single OK button; show() returns when the box is closed. Tests substitute a recorder, so no
// test ever waits on a modal box.
class MessageBoxes {
public:
    enum class Icon { Critical, Warning, Information };

    virtual ~MessageBoxes() = default;
    virtual void show(const QString& text, const QString& title, Icon icon) = 0;
};

// Qt's message box, over the active window.
class QtMessageBoxes final : public MessageBoxes {
public:
    void show(const QString& text, const QString& title, Icon icon) override;
};

} // namespace window
