#pragma once

#include <QLoggingCategory>

// The category of everything the iPhone device library logs.
Q_DECLARE_LOGGING_CATEGORY(lcIos)
