#include "camera/mapped_frame.h"

namespace camera {

const char* nativeRgb32Format() {
    // Format_RGB32 is 0xffRRGGBB per 32-bit word: bytes B, G, R, x on little-endian machines.
    return Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "BGRx" : "xRGB";
}

MappedFrame::MappedFrame(gst::SamplePtr sample) : sample_(std::move(sample)) {
    if (!sample_) return;
    GstBuffer* buffer = gst_sample_get_buffer(sample_.get());
    GstCaps* caps = gst_sample_get_caps(sample_.get());
    GstVideoInfo info;
    if (!buffer || !caps || !gst_video_info_from_caps(&info, caps)) return;
    if (GST_VIDEO_INFO_FORMAT(&info) != gst_video_format_from_string(nativeRgb32Format())) return;
    if (!gst_video_frame_map(&frame_, &info, buffer, GST_MAP_READ)) return;
    mapped_ = true;
    pixels_ = {static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&frame_, 0)),
               QSize(GST_VIDEO_FRAME_WIDTH(&frame_), GST_VIDEO_FRAME_HEIGHT(&frame_)),
               GST_VIDEO_FRAME_PLANE_STRIDE(&frame_, 0)};
}

MappedFrame::~MappedFrame() {
    if (mapped_) gst_video_frame_unmap(&frame_);
}

} // namespace camera
