#pragma once

#include <QLoggingCategory>

// The category of everything the message-database library logs.
Q_DECLARE_LOGGING_CATEGORY(lcMsgDb)
