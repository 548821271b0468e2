#include "camera/source_element.h"

#include "secrets/masked_text.h"

#include <QRegularExpression>

namespace camera {

namespace {

// Points the bin's not-yet-targeted "src" ghost pad at the first video pad that appears.
void onPadAdded(GstElement*, GstPad* pad, gpointer ghostPad) {
    GstPad* ghost = GST_PAD(ghostPad);
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
    gst::PadPtr target(gst_ghost_pad_get_target(GST_GHOST_PAD(ghost)));
    if (target) return;
    gst::CapsPtr caps(gst_pad_get_current_caps(pad));
    if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
    if (caps && !gst_caps_is_empty(caps.get()) && !gst_caps_is_any(caps.get())) {
        const char* media = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
        if (!g_str_has_prefix(media, "video/") && !g_str_has_prefix(media, "image/")) return;
    }
    gst_ghost_pad_set_target(GST_GHOST_PAD(ghost), pad);
}

bool hasSometimesSrcTemplate(GstElement* element) {
    const GList* templates =
        gst_element_class_get_pad_template_list(GST_ELEMENT_GET_CLASS(element));
    for (const GList* item = templates; item; item = item->next) {
        auto* padTemplate = static_cast<GstPadTemplate*>(item->data);
        if (GST_PAD_TEMPLATE_DIRECTION(padTemplate) == GST_PAD_SRC &&
            GST_PAD_TEMPLATE_PRESENCE(padTemplate) == GST_PAD_SOMETIMES)
            return true;
    }
    return false;
}

GstElement* firstWithSometimesOutput(GstBin* bin) {
    GstElement* found = nullptr;
    GstIterator* elements = gst_bin_iterate_elements(bin);
    GValue value = G_VALUE_INIT;
    while (!found && gst_iterator_next(elements, &value) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&value));
        if (element->numsrcpads == 0 && hasSometimesSrcTemplate(element)) found = element;
        g_value_reset(&value);
    }
    g_value_unset(&value);
    gst_iterator_free(elements);
    return found;
}

// Gives the bin a "src" pad that follows the first video pad `output` adds while running
// (decodebin after a network source has no output pad before data flows).
void ghostDynamicOutput(GstBin* bin, GstElement* output) {
    GstPad* ghost = gst_ghost_pad_new_no_target("src", GST_PAD_SRC);
    gst_element_add_pad(GST_ELEMENT(bin), ghost); // the bin takes the floating reference
    g_signal_connect(output, "pad-added", G_CALLBACK(onPadAdded), ghost);
}

// The child of `bin` that holds `pad`, however deep; null when the pad is not inside the bin.
gst::ElementPtr childHolding(GstBin* bin, GstPad* pad) {
    gst::ElementPtr element(gst_pad_get_parent_element(pad));
    while (element && GST_OBJECT_PARENT(element.get()) != GST_OBJECT(bin)) {
        GstObject* parent = gst_object_get_parent(GST_OBJECT(element.get()));
        element.reset(parent && GST_IS_ELEMENT(parent) ? GST_ELEMENT(parent) : nullptr);
        if (parent && !GST_IS_ELEMENT(parent)) gst_object_unref(parent);
    }
    return element;
}

// Makes sure the bin's "src" pad is the output of the description's last element. The parser
// ghosts the first unlinked pad it finds, which for a decodebin is a pad deep inside it that
// decodebin itself still needs; such a pad is replaced by one that follows decodebin's output.
bool settleOutput(GstBin* bin) {
    gst::PadPtr src(gst_element_get_static_pad(GST_ELEMENT(bin), "src"));
    if (src) {
        gst::PadPtr target(gst_ghost_pad_get_target(GST_GHOST_PAD(src.get())));
        gst::ElementPtr child = target ? childHolding(bin, target.get()) : gst::ElementPtr();
        if (!child) return true;
        gst::ElementPtr owner(gst_pad_get_parent_element(target.get()));
        if (owner.get() == child.get()) return true; // a pad of the last element itself
        gst_element_remove_pad(GST_ELEMENT(bin), src.get());
        ghostDynamicOutput(bin, child.get());
        return true;
    }
    GstElement* output = firstWithSometimesOutput(bin);
    if (!output) return false;
    ghostDynamicOutput(bin, output);
    return true;
}

// A source takes no input. The parser ghosts every unlinked pad, and with a network source the
// following decoder's input is still unlinked when it parses ("rtspsrc ! decodebin": the link
// waits for rtspsrc's pads); held by a ghost pad, it could never be linked to the source.
void dropInputPads(GstBin* bin) {
    while (true) {
        GstPad* input = nullptr;
        GST_OBJECT_LOCK(bin);
        if (GST_ELEMENT(bin)->sinkpads)
            input = GST_PAD(gst_object_ref(GST_ELEMENT(bin)->sinkpads->data));
        GST_OBJECT_UNLOCK(bin);
        if (!input) return;
        gst::PadPtr owned(input);
        gst_element_remove_pad(GST_ELEMENT(bin), input);
    }
}

} // namespace

// GStreamer reads caps in a description only between two elements, but people naturally end a
// source with the caps they want ("videotestsrc ! video/x-raw,width=64"): give such caps an
// element to lead to.
QString withCapsLed(const QString& description) {
    const QString last = description.section(QLatin1Char('!'), -1).trimmed();
    static const QRegularExpression caps(QStringLiteral("^(video|image)/[A-Za-z0-9_.+-]+(,|$)"));
    return caps.match(last).hasMatch() ? description + QStringLiteral(" ! identity") : description;
}

gst::ElementPtr makeSourceFromDescription(const QString& description, QString* error) {
    GError* raw = nullptr;
    gst::ElementPtr bin = gst::adoptElement(
        gst_parse_bin_from_description(withCapsLed(description).toUtf8().constData(), TRUE, &raw));
    gst::ErrorPtr failure(raw);
    // The parser also reports lesser faults (an unknown property) beside a usable bin; a
    // description the user wrote should do exactly what it says, so those count too.
    if (failure || !bin) {
        if (error)
            *error = QStringLiteral("The camera source \"%1\" is not valid: %2")
                         .arg(secrets::masked(description),
                              failure ? QString::fromUtf8(failure->message)
                                      : QStringLiteral("it gives no element"));
        return {};
    }
    dropInputPads(GST_BIN(bin.get()));
    if (!settleOutput(GST_BIN(bin.get()))) {
        if (error)
            *error = QStringLiteral("The camera source \"%1\" is not valid: it has no video output")
                         .arg(secrets::masked(description));
        return {};
    }
    return bin;
}

QString v4l2DeviceOf(GstElement* source) {
    const auto deviceOf = [](GstElement* element) -> QString {
        GstElementFactory* factory = gst_element_get_factory(element);
        if (!factory || g_strcmp0(GST_OBJECT_NAME(factory), "v4l2src") != 0) return {};
        gchar* device = nullptr;
        g_object_get(element, "device", &device, nullptr);
        const gst::GCharPtr owned(device);
        return QString::fromUtf8(device ? device : "/dev/video0");
    };
    if (!source) return {};
    if (!GST_IS_BIN(source)) return deviceOf(source);
    QString found;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(source));
    GValue item = G_VALUE_INIT;
    while (found.isEmpty() && gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        found = deviceOf(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return found;
}

} // namespace camera
