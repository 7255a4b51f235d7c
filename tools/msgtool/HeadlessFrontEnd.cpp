#include "HeadlessFrontEnd.h"

#include "HeadlessReport.h"

#include <cstdio>

namespace {

class HeadlessStep : public ActionStep
{
public:
    WorkerReport& report() override { return headless; }
    WorkerOutcome run(QThread& worker) override { return headless.run(worker); }

private:
    HeadlessReport headless;
};

void printLine(const char* kind, const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", kind, text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

std::unique_ptr<ActionStep> HeadlessFrontEnd::newStep()
{
    return std::make_unique<HeadlessStep>();
}

void HeadlessFrontEnd::refuse(const QString& text, const QString&)
{
    printLine("warning", text);
}

void HeadlessFrontEnd::fail(const QString& text)
{
    printLine("error", text);
}

bool HeadlessFrontEnd::ask(const QString& question)
{
    printLine("question (answered Yes)", question);
    return true;
}

void HeadlessFrontEnd::inform(const QString& text)
{
    printLine("information", text);
}

bool HeadlessFrontEnd::unlock(BackupManifest&)
{
    printLine("warning", QStringLiteral("the backup is encrypted, and msgtool types no password"));
    return false;
}
