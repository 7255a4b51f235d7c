#pragma once

#include <QJsonValue>
#include <QStringList>

#include <stdexcept>

// A subcommand: takes its arguments (without its own name) and returns the one JSON
// document to print. Failures are exceptions: UsageError for wrong arguments (exit 2),
// anything else for a failed operation (exit 1).
using CommandFunction = QJsonValue (*)(const QStringList& args);

struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct Command
{
    QString name;
    QString usage;
    CommandFunction run;
};

bool registerCommand(const char* name, const char* usage, CommandFunction run);
const Command* findCommand(const QString& name);
QList<Command> allCommands();

// One file per subcommand registers itself with this.
#define MSGTOOL_COMMAND(name, usage, function) \
    static const bool registered_##function = registerCommand(name, usage, function)
