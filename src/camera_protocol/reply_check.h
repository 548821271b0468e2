#pragma once

#include "camera_protocol/message.h"

#include <QString>

namespace camera_process {

// The window's one check of what the camera process says, before anything reads it: the verb is
// one the window knows, and every field the window reads is there, of its kind and in range
// (sizes at most camera::MaxPictureSide a side, controls of a kind that exists). Empty when all
// is right, else why, naming the verb and the field.
QString checkReply(const Message& message);

} // namespace camera_process
