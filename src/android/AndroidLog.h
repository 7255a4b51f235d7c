#pragma once

#include <QLoggingCategory>

// The category of everything the Android library logs.
Q_DECLARE_LOGGING_CATEGORY(lcAndroid)
