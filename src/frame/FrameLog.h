#pragma once

#include <QLoggingCategory>

// The category of everything the frame libraries log.
Q_DECLARE_LOGGING_CATEGORY(lcFrame)
