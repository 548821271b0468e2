#include "camera/v4l2_controls.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace camera {

namespace {

int xioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

CameraControl::Kind kindOf(std::uint32_t type) {
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
        return CameraControl::Kind::Integer;
    case V4L2_CTRL_TYPE_BOOLEAN:
        return CameraControl::Kind::Boolean;
    case V4L2_CTRL_TYPE_MENU:
        return CameraControl::Kind::Menu;
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        return CameraControl::Kind::IntegerMenu;
    case V4L2_CTRL_TYPE_BUTTON:
        return CameraControl::Kind::Button;
    case V4L2_CTRL_TYPE_INTEGER64:
        return CameraControl::Kind::Integer64;
    case V4L2_CTRL_TYPE_BITMASK:
        return CameraControl::Kind::Bitmask;
    case V4L2_CTRL_TYPE_STRING:
        return CameraControl::Kind::String;
    case V4L2_CTRL_TYPE_CTRL_CLASS:
        return CameraControl::Kind::Class;
    default:
        return CameraControl::Kind::Other;
    }
}

void readMenu(int fd, const v4l2_query_ext_ctrl& query, CameraControl* control) {
    for (std::int64_t index = query.minimum; index <= query.maximum; ++index) {
        v4l2_querymenu item{};
        item.id = query.id;
        item.index = std::uint32_t(index);
        if (xioctl(fd, VIDIOC_QUERYMENU, &item) != 0) continue; // a gap in the menu
        control->menu.append({index, control->kind == CameraControl::Kind::Menu
                                         ? QString::fromUtf8(reinterpret_cast<char*>(item.name))
                                         : QString::number(item.value)});
    }
}

void readValue(int fd, CameraControl* control, std::uint32_t elemSize) {
    v4l2_ext_control value{};
    value.id = control->id;
    QByteArray text;
    if (control->kind == CameraControl::Kind::String) {
        text.resize(qsizetype(elemSize) + 1);
        value.size = elemSize;
        value.string = text.data();
    }
    v4l2_ext_controls values{};
    values.which = V4L2_CTRL_WHICH_CUR_VAL;
    values.count = 1;
    values.controls = &value;
    if (xioctl(fd, VIDIOC_G_EXT_CTRLS, &values) != 0) return; // write-only: no value to show
    if (control->kind == CameraControl::Kind::String)
        control->text = QString::fromUtf8(text.constData());
    else if (control->kind == CameraControl::Kind::Integer64)
        control->value = value.value64;
    else
        control->value = value.value;
}

} // namespace

V4l2Controls::~V4l2Controls() {
    close();
}

bool V4l2Controls::open(const QString& path, QString* error) {
    close();
    fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0) return true;
    if (error) *error = QStringLiteral("%1: %2").arg(path, systemError());
    return false;
}

void V4l2Controls::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

QList<CameraControl> V4l2Controls::list() const {
    QList<CameraControl> controls;
    if (fd_ < 0) return controls;
    v4l2_query_ext_ctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (xioctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) == 0) {
        const std::uint32_t id = query.id;
        if (!(query.flags & V4L2_CTRL_FLAG_DISABLED) &&
            !(query.flags & V4L2_CTRL_FLAG_HAS_PAYLOAD && query.type != V4L2_CTRL_TYPE_STRING)) {
            CameraControl control;
            control.id = id;
            control.kind = kindOf(query.type);
            control.name = QString::fromUtf8(query.name);
            control.key = controlKey(control.name);
            control.controlClass = V4L2_CTRL_ID2CLASS(id);
            control.minimum = query.minimum;
            control.maximum = query.maximum;
            control.step = std::int64_t(query.step);
            control.defaultValue = query.default_value;
            control.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
            control.readOnly = query.flags & V4L2_CTRL_FLAG_READ_ONLY;
            if (control.kind == CameraControl::Kind::Menu ||
                control.kind == CameraControl::Kind::IntegerMenu)
                readMenu(fd_, query, &control);
            if (control.kind != CameraControl::Kind::Class &&
                control.kind != CameraControl::Kind::Button &&
                !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY))
                readValue(fd_, &control, query.elem_size);
            controls.append(std::move(control));
        }
        query.id = id | V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
    }
    return controls;
}

bool V4l2Controls::set(std::uint32_t id, std::int64_t value, QString* error) {
    if (fd_ < 0) {
        if (error) *error = QStringLiteral("The camera has no controls");
        return false;
    }
    v4l2_query_ext_ctrl query{};
    query.id = id;
    const bool wide =
        xioctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) == 0 && query.type == V4L2_CTRL_TYPE_INTEGER64;
    v4l2_ext_control control{};
    control.id = id;
    if (wide)
        control.value64 = value;
    else
        control.value = std::int32_t(value);
    v4l2_ext_controls controls{};
    controls.which = V4L2_CTRL_WHICH_CUR_VAL;
    controls.count = 1;
    controls.controls = &control;
    if (xioctl(fd_, VIDIOC_S_EXT_CTRLS, &controls) == 0) return true;
    if (error) *error = systemError();
    return false;
}

} // namespace camera
