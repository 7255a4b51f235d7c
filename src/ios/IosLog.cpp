#include "ios/IosLog.h"

Q_LOGGING_CATEGORY(lcIos, "ios")
