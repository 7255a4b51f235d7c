#pragma once

#include <QJsonValue>
#include <QStringList>

#include <stdexcept>

// A subcommand: takes its arguments (without its own name) and returns the one JSON
// document to print, or an undefined value when it has written a large document to
// stdout itself as it went. Failures are exceptions: UsageError for wrong arguments (exit 2),
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
    // Draws text (PDF pages), which needs fonts and so a GUI application, run offscreen.
    bool drawsText = false;
};

bool registerCommand(const char* name, const char* usage, CommandFunction run, bool drawsText = false);
const Command* findCommand(const QString& name);
QList<Command> allCommands();

// The "--name" words of a subcommand's usage are its options; one followed there by a
// placeholder takes the next argument as its value. True when the arguments ask for
// "--help"; throws UsageError for any other word starting with "-" that is no option.
// main() calls it for every subcommand before running it, so none sees either.
bool asksForHelp(const Command& command, const QStringList& args);

// One file per subcommand registers itself with this.
#define MSGTOOL_COMMAND(name, usage, function) \
    static const bool registered_##function = registerCommand(name, usage, function)
#define MSGTOOL_DRAWING_COMMAND(name, usage, function) \
    static const bool registered_##function = registerCommand(name, usage, function, true)
