#pragma once

#include <QString>
#include <QStringList>

// Removes "--password P" from the arguments and returns P; a null text when absent.
// Throws UsageError when the option has no value.
QString takePassword(QStringList& args);
