#include "gst/bus_watch.h"

#include <QPointer>
#include <mutex>

namespace gst {

// What the posting threads see. The bus owns it and frees it with itself, when no thread can
// post any more; the watch closes it on its way out, under the lock a post holds while it
// filters.
struct BusWatch::SyncFilter {
    std::mutex mutex;
    Filter keep; // empty once the watch has gone
};

BusWatch::BusWatch(GstBus* bus, Filter keep, Handler handle, QObject* parent)
    : QObject(parent), bus_(GST_BUS(gst_object_ref(bus))),
      filter_(new SyncFilter{{}, std::move(keep)}), handle_(std::move(handle)) {
    g_object_set_data_full(G_OBJECT(bus_.get()), "lumivex-sync-filter", filter_,
                           [](gpointer filter) { delete static_cast<SyncFilter*>(filter); });
    gst_bus_set_sync_handler(bus_.get(), &BusWatch::onSync, filter_, nullptr);
    GPollFD pollFd{};
    gst_bus_get_pollfd(bus_.get(), &pollFd);
    notifier_ = std::make_unique<QSocketNotifier>(qintptr(pollFd.fd), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &BusWatch::drain);
}

BusWatch::~BusWatch() {
    notifier_.reset();
    {
        // Waits for a post that is filtering right now; later ones drop their messages.
        std::lock_guard lock(filter_->mutex);
        filter_->keep = nullptr;
    }
    gst_bus_set_flushing(bus_.get(), TRUE); // what is still queued is nobody's news
    gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
}

GstBusSyncReply BusWatch::onSync(GstBus*, GstMessage* message, gpointer filter) {
    auto* sync = static_cast<SyncFilter*>(filter);
    {
        std::lock_guard lock(sync->mutex);
        if (sync->keep && sync->keep(message)) return GST_BUS_PASS;
    }
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

} // namespace gst
