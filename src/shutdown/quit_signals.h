#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace ending {

// Turns SIGTERM, SIGHUP and SIGINT (a shutdown, a logout, Ctrl+C) into a Qt signal on the GUI
// thread, so that the program can end in order instead of at once: the handler only writes the
// signal's number into a socket, which the event loop reads.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    bool received() const { return received_; }

signals:
    // `name`: "SIGTERM", "SIGHUP" or "SIGINT".
    void quitRequested(const QString& name);

private:
    void onReadable();

    QSocketNotifier* notifier_ = nullptr;
    bool received_ = false;
};

} // namespace ending
