#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <memory>
#include <vector>

// One program a program folder: two copies would take the same run up again and write the same
// pictures and log rows. The first copy holds a socket named after its folder in the kernel's
// abstract namespace (Linux): the kernel lets it go with the process however that ends, so a
// killed program leaves nothing held, and a second copy reaches the first through it to have
// its window brought to the front.
namespace instance {

class OneProgram : public QObject {
    Q_OBJECT
public:
    enum class Claim {
        Ours,        // this copy is the program of the folder
        OtherRaised, // another copy runs and was asked to show itself
        Failed,      // neither: the socket could not be made (see `error`); the program runs on
    };

    // Claims `folder` (its canonical path); OtherRaised when another copy holds it.
    Claim claim(const QString& folder, QString* error = nullptr);
    ~OneProgram() override;

signals:
    // Another copy was started for this folder.
    void raiseRequested();

private:
    void onConnection();
    void readRequest(QSocketNotifier* notifier);
    void drop(QSocketNotifier* notifier);

    static constexpr std::size_t MaxPending = 4;
    int listening_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<std::unique_ptr<QSocketNotifier>> pending_; // connections not read yet
};

// Shows the program's windows in front of others (the format dialog at start-up, else the main
// window, brought back when minimised).
void bringToFront();

// The socket name for `folder`: the same for every spelling of the same folder.
QByteArray socketName(const QString& folder);

} // namespace instance
