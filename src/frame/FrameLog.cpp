#include "frame/FrameLog.h"

Q_LOGGING_CATEGORY(lcFrame, "frame")
