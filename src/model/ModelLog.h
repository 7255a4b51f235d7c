#pragma once

#include <QLoggingCategory>

// The category of everything the model library logs.
Q_DECLARE_LOGGING_CATEGORY(lcModel)
