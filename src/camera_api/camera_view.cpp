// Home of the interface's meta-object code.
#include "camera_api/camera_view.h"
