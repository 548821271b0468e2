#pragma once

#include "gst/gst_ptr.h"

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace gst {

// Brings a GStreamer bus's messages to the GUI thread: a socket notifier on the bus's poll
// descriptor wakes the event loop, which pops what is queued. Nothing waits for anything.
//
// `keep` runs on the thread that posts (any thread) and decides which messages are queued at all;
// the rest are dropped at once, so a busy pipeline's state changes never wake the GUI thread.
// It may also act at once, such as waking a grab that waits for a frame.
//
// The watch may go before or after its pipeline stops: once its destructor returns, `keep` is
// never called again, even by a streaming thread that was posting at that very moment.
class BusWatch : public QObject {
    Q_OBJECT
public:
    using Filter = std::function<bool(GstMessage*)>;
    using Handler = std::function<void(GstMessage*)>;

    BusWatch(GstBus* bus, Filter keep, Handler handle, QObject* parent = nullptr);
    ~BusWatch() override;

    // Pops one kept message of `types`, waiting up to `timeout`: for the few waits that must be
    // synchronous (a start-up), which then read the message here instead of in `handle`.
    MessagePtr pop(GstMessageType types, GstClockTime timeout);

private:
    struct SyncFilter;
    static GstBusSyncReply onSync(GstBus* bus, GstMessage* message, gpointer filter);
    void drain();

    BusPtr bus_;
    SyncFilter* filter_; // owned by the bus's sync handler
    Handler handle_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace gst
