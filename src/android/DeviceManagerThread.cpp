#include "android/DeviceManagerThread.h"

#include "android/DeviceManager.h"

#include "frame/ErrorMarkup.h"
#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"

namespace {

// The script's words, as markup that keeps its lines as the script broke them: the box
// wrapping them again at its own width would leave every other line short.
QString saidMarkup(const QString& said)
{
    return QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(said.trimmed().toHtmlEscaped());
}

} // namespace

DeviceManagerThread::DeviceManagerThread(WorkerReport* report, QObject* parent)
    : QThread(parent)
    , report(report)
{
}

void DeviceManagerThread::run()
{
    runReported(*report, [this] {
        const DeviceManagerRun run = runDeviceManager([this] { return report->rejected.load(); });
        if (report->rejected)
            return;
        if (!run.ran)
            throw std::runtime_error((run.error + QLatin1Char('\n') + run.said).trimmed().toStdString());
        if (run.exitCode != 0 && run.said.trimmed().isEmpty())
            throw std::runtime_error(
                QStringLiteral("The device manager ended with exit code %1.").arg(run.exitCode).toStdString());
        if (run.exitCode != 0)
            throw MarkupError(saidMarkup(run.said));
        report->postSucceed(saidMarkup(run.said));
    });
}
