#include "android/AndroidLog.h"

Q_LOGGING_CATEGORY(lcAndroid, "android")
