#include "camera/bus_watch.h"

#include <QPointer>

namespace camera {

BusWatch::BusWatch(GstBus* bus, Filter keep, Handler handle, QObject* parent)
    : QObject(parent), bus_(GST_BUS(gst_object_ref(bus))), keep_(std::move(keep)),
      handle_(std::move(handle)) {
    gst_bus_set_sync_handler(bus_.get(), &BusWatch::onSync, this, nullptr);
    GPollFD pollFd{};
    gst_bus_get_pollfd(bus_.get(), &pollFd);
    notifier_ = std::make_unique<QSocketNotifier>(qintptr(pollFd.fd), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &BusWatch::drain);
}

BusWatch::~BusWatch() {
    notifier_.reset();
    gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
    gst_bus_set_flushing(bus_.get(), TRUE); // what is still queued is nobody's news
}

GstBusSyncReply BusWatch::onSync(GstBus*, GstMessage* message, gpointer self) {
    if (static_cast<BusWatch*>(self)->keep_(message)) return GST_BUS_PASS;
    gst_message_unref(message); // a message dropped here is ours to release
    return GST_BUS_DROP;
}

void BusWatch::drain() {
    // Popping reads the descriptor's wake-up too, so it goes quiet once the queue is empty. A
    // handler may end the watch (and its pipeline): nothing of it is touched after that.
    const QPointer<BusWatch> alive(this);
    const Handler handle = handle_; // outlives this watch if the handler ends it
    while (alive) {
        MessagePtr message(gst_bus_pop(bus_.get()));
        if (!message) break;
        handle(message.get());
    }
}

MessagePtr BusWatch::pop(GstMessageType types, GstClockTime timeout) {
    return MessagePtr(gst_bus_timed_pop_filtered(bus_.get(), timeout, types));
}

} // namespace camera
