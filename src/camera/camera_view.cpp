// Home of the interface's meta-object code.
#include "camera/camera_view.h"
