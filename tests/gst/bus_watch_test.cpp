#include "gst/bus_watch.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Posts a message from the streaming thread for every buffer, as a busy pipeline does.
GstPadProbeReturn postEachBuffer(GstPad* pad, GstPadProbeInfo*, gpointer) {
    gst::ElementPtr parent(gst_pad_get_parent_element(pad));
    gst_element_post_message(
        parent.get(),
        gst_message_new_application(GST_OBJECT(parent.get()), gst_structure_new_empty("tick")));
    return GST_PAD_PROBE_OK;
}

// The watch may go while its pipeline still streams and posts: its destructor waits for a filter
// running on a streaming thread, and afterwards the filter is never called again.
TEST(BusWatch, GoingBeforeItsPipelineStopsIsSafe) {
    GError* error = nullptr;
    gst::ElementPtr pipeline = gst::adoptElement(gst_parse_launch(
        "videotestsrc name=source ! video/x-raw,width=16,height=16 ! fakesink", &error));
    ASSERT_TRUE(pipeline) << (error ? error->message : "");
    gst::ElementPtr source(gst_bin_get_by_name(GST_BIN(pipeline.get()), "source"));
    gst::PadPtr pad(gst_element_get_static_pad(source.get(), "src"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, postEachBuffer, nullptr, nullptr);

    gst::BusPtr bus(gst_element_get_bus(pipeline.get()));
    auto seen = std::make_shared<std::atomic<int>>(0);
    auto filtering = std::make_shared<std::atomic<bool>>(false);
    auto watch = std::make_unique<gst::BusWatch>(
        bus.get(),
        [seen, filtering](GstMessage*) {
            // A slow filter: the watch is nearly always gone while one runs.
            filtering->store(true);
            QThread::msleep(5);
            ++*seen;
            filtering->store(false);
            return false;
        },
        [](GstMessage*) {});
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    for (int i = 0; i < 100 && *seen < 5; ++i)
        QTest::qWait(10);
    ASSERT_GE(*seen, 5) << "the pipeline posted nothing";
    watch.reset();
    EXPECT_FALSE(filtering->load()) << "a filter still ran after the watch had gone";
    const int atReset = *seen;
    QTest::qWait(50); // the streaming thread goes on posting
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    EXPECT_EQ(*seen, atReset);
}

} // namespace
