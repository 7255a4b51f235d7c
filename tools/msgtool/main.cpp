#include "Command.h"
#include "CompactJson.h"

#include "frame/EnglishTexts.h"
#include "frame/MessageBox.h"
#include "frame/PrivateFolder.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHashFunctions>
#include <QLoggingCategory>

#include <cstdio>
#include <exception>
#include <memory>

namespace {

void printUsage()
{
    std::fprintf(stderr, "usage: msgtool <command> [arguments]\n");
    for (const Command& c : allCommands())
        std::fprintf(stderr, "  %s %s\n", qPrintable(c.name), qPrintable(c.usage));
}

void printJson(const QJsonValue& value)
{
    // A command that streamed its document has printed it already.
    if (value.isUndefined())
        return;
    const QByteArray text = compactJson(value);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QHashSeed::setDeterministicGlobalSeed();
    keepNewFilesPrivate();
    // msgtool runs without a person and without widgets: workers report through
    // HeadlessReport, and the few boxes the device layers show answer themselves; both
    // write what a box would show to stderr. Errors are never reported to the maker.
    const Command* early = argc > 1 ? findCommand(QString::fromLocal8Bit(argv[1])) : nullptr;
    std::unique_ptr<QCoreApplication> application;
    if (early && early->drawsText) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication& app = *application;
    // The window writes debug lines to its log file only; msgtool keeps no log, and its
    // stderr carries errors and what a box would show. QT_LOGGING_RULES still overrides.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    installEnglishTexts(app);
    setHeadlessMessageBoxes(true);

    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        printUsage();
        return 2;
    }
    const Command* command = findCommand(args.takeFirst());
    if (!command) {
        printUsage();
        return 2;
    }
    try {
        if (asksForHelp(*command, args)) {
            std::printf("usage: msgtool %s %s\n", qPrintable(command->name), qPrintable(command->usage));
            return 0;
        }
        printJson(command->run(args));
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "msgtool: %s\nusage: msgtool %s %s\n", e.what(), qPrintable(command->name),
                     qPrintable(command->usage));
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "msgtool: %s\n", e.what());
        return 1;
    } catch (...) {
        std::fprintf(stderr, "msgtool: cancelled\n");
        return 1;
    }
}
