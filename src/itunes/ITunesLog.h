#pragma once

#include <QLoggingCategory>

// The category of everything the backup library logs.
Q_DECLARE_LOGGING_CATEGORY(lcITunes)
