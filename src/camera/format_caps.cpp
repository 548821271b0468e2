#include "camera/format_caps.h"

#include <QSet>
#include <array>
#include <gst/video/video.h>
#include <utility>

namespace camera {

namespace {

struct Size {
    int width;
    int height;
};

constexpr std::array<Size, 4> commonSizes{{{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}}};

// A source listing more pixel formats than this converts internally; show only the usual ones.
constexpr int maxFormatsShownAsIs = 8;
// Cheapest first: BGRx reaches the screen without conversion.
const QStringList commonPixelFormats{QStringLiteral("BGRx"), QStringLiteral("YUY2"),
                                     QStringLiteral("I420"), QStringLiteral("NV12")};

constexpr int preferredFps = 30;

QStringList pixelFormatsOf(const GstStructure* structure) {
    if (gst_structure_has_name(structure, "image/jpeg")) return {QStringLiteral("MJPG")};
    const GValue* value = gst_structure_get_value(structure, "format");
    if (!value) return {};
    QStringList formats;
    if (G_VALUE_HOLDS_STRING(value)) {
        formats.append(QString::fromUtf8(g_value_get_string(value)));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_STRING(item))
                formats.append(QString::fromUtf8(g_value_get_string(item)));
        }
    }
    if (formats.size() > maxFormatsShownAsIs) {
        QStringList common;
        for (const QString& format : commonPixelFormats)
            if (formats.contains(format)) common.append(format);
        return common;
    }
    return formats;
}

// The values of an int field: a fixed value, a list, or a range (then nothing: see sizesOf).
QList<int> intsOf(const GValue* value, bool* isRange) {
    *isRange = false;
    QList<int> ints;
    if (!value) return ints;
    if (G_VALUE_HOLDS_INT(value)) {
        ints.append(g_value_get_int(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_INT(item)) ints.append(g_value_get_int(item));
        }
    } else if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        *isRange = true;
    }
    return ints;
}

bool inRange(const GValue* value, int number) {
    if (!GST_VALUE_HOLDS_INT_RANGE(value)) return false;
    const int low = gst_value_get_int_range_min(value);
    const int high = gst_value_get_int_range_max(value);
    const int step = gst_value_get_int_range_step(value);
    // A stepped range holds the multiples of its step.
    return number >= low && number <= high && (step <= 1 || number % step == 0);
}

QList<Size> sizesOf(const GstStructure* structure) {
    const GValue* widthValue = gst_structure_get_value(structure, "width");
    const GValue* heightValue = gst_structure_get_value(structure, "height");
    bool widthRange = false;
    bool heightRange = false;
    const QList<int> widths = intsOf(widthValue, &widthRange);
    const QList<int> heights = intsOf(heightValue, &heightRange);
    QList<Size> sizes;
    if (!widthRange && !heightRange) {
        // Fixed sizes; lists pair up only as a cross product, which cameras do not use.
        for (int width : widths)
            for (int height : heights)
                sizes.append({width, height});
        return sizes;
    }
    for (const Size& size : commonSizes) {
        const bool widthFits =
            widthRange ? inRange(widthValue, size.width) : widths.contains(size.width);
        const bool heightFits =
            heightRange ? inRange(heightValue, size.height) : heights.contains(size.height);
        if (widthFits && heightFits) sizes.append(size);
    }
    return sizes;
}

using Fraction = std::pair<int, int>;

QList<Fraction> frameRatesOf(const GstStructure* structure) {
    const GValue* value = gst_structure_get_value(structure, "framerate");
    if (!value) return {{0, 1}};
    if (GST_VALUE_HOLDS_FRACTION(value))
        return {
            {gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)}};
    QList<Fraction> rates;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* item = gst_value_list_get_value(value, i);
            if (GST_VALUE_HOLDS_FRACTION(item))
                rates.append({gst_value_get_fraction_numerator(item),
                              gst_value_get_fraction_denominator(item)});
        }
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        // One rate is enough for a range: the usual 30 fps when allowed, else the fastest.
        const GValue* low = gst_value_get_fraction_range_min(value);
        const GValue* high = gst_value_get_fraction_range_max(value);
        GValue preferred = G_VALUE_INIT;
        g_value_init(&preferred, GST_TYPE_FRACTION);
        gst_value_set_fraction(&preferred, preferredFps, 1);
        if (gst_value_compare(low, &preferred) != GST_VALUE_GREATER_THAN &&
            gst_value_compare(high, &preferred) != GST_VALUE_LESS_THAN)
            rates.append({preferredFps, 1});
        else
            rates.append(
                {gst_value_get_fraction_numerator(high), gst_value_get_fraction_denominator(high)});
        g_value_unset(&preferred);
    }
    return rates;
}

} // namespace

GstCaps* formatCaps(const VideoFormat& format) {
    GstCaps* caps = format.isJpeg()
                        ? gst_caps_new_empty_simple("image/jpeg")
                        : gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING,
                                              format.pixelFormat.toUtf8().constData(), nullptr);
    gst_caps_set_simple(caps, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT,
                        format.height, nullptr);
    if (format.fpsNumerator > 0)
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, format.fpsNumerator,
                            format.fpsDenominator, nullptr);
    return caps;
}

QList<VideoFormat> formatsFromCaps(const GstCaps* caps) {
    QList<VideoFormat> formats;
    if (!caps || gst_caps_is_any(caps)) return formats;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        if (!gst_structure_has_name(structure, "video/x-raw") &&
            !gst_structure_has_name(structure, "image/jpeg"))
            continue;
        // Memory other than plain system memory (GL textures, DMA buffers) is not ours to map.
        if (GstCapsFeatures* features = gst_caps_get_features(caps, i);
            features && !gst_caps_features_is_any(features) &&
            !gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY))
            continue;
        const QStringList pixelFormats = pixelFormatsOf(structure);
        const QList<Size> sizes = sizesOf(structure);
        const QList<Fraction> rates = frameRatesOf(structure);
        for (const QString& pixelFormat : pixelFormats)
            for (const Size& size : sizes)
                for (const Fraction& rate : rates) {
                    const VideoFormat format{pixelFormat, size.width, size.height, rate.first,
                                             rate.second};
                    if (size.width > 0 && size.height > 0 && !formats.contains(format))
                        formats.append(format);
                }
    }
    return formats;
}

} // namespace camera
