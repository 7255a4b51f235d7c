#include "Command.h"

#include <QList>
#include <QRegularExpression>
#include <QSet>

namespace {

QList<Command>& registry()
{
    static QList<Command> commands;
    return commands;
}

struct Options
{
    QSet<QString> flags;
    QSet<QString> withValue;
};

// "FOLDER [--password P]" names the option --password with a value.
Options optionsOf(const Command& command)
{
    static const QRegularExpression brackets(QStringLiteral("[\\[\\]]"));
    const QStringList words = QString(command.usage).remove(brackets).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    Options options;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (!words[i].startsWith(QLatin1String("--")))
            continue;
        const bool takesValue = i + 1 < words.size() && !words[i + 1].startsWith(QLatin1Char('-'))
                                && words[i + 1] != QLatin1String("|");
        (takesValue ? options.withValue : options.flags).insert(words[i]);
    }
    return options;
}

} // namespace

bool registerCommand(const char* name, const char* usage, CommandFunction run, bool drawsText)
{
    registry().append({QString::fromUtf8(name), QString::fromUtf8(usage), run, drawsText});
    return true;
}

const Command* findCommand(const QString& name)
{
    for (const Command& c : registry()) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

QList<Command> allCommands()
{
    return registry();
}

bool asksForHelp(const Command& command, const QStringList& args)
{
    const Options options = optionsOf(command);
    bool help = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (options.withValue.contains(arg))
            ++i;
        else if (arg == QLatin1String("--help"))
            help = true;
        else if (arg.startsWith(QLatin1Char('-')) && !options.flags.contains(arg))
            throw UsageError(("unknown option " + arg).toStdString());
    }
    return help;
}
