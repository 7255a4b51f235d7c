#include "actions/export/ExportSMSThread.h"

#include "actions/export/ChatFileNames.h"
#include "actions/export/ExportMessagesCsv.h"
#include "actions/export/ExportMessagesTxt.h"
#include "actions/export/ExportOrder.h"
#include "actions/export/ExportSMSHtml.h"
#include "actions/export/ExportSMSPdf.h"
#include "actions/export/HtmlResources.h"

#include "frame/ReportedRun.h"
#include "frame/WorkerReport.h"
#include "itunes/WrittenPaths.h"
#include "msgdb/ProgressPercent.h"

#include <QDir>

#include <memory>
#include <optional>
#include <stdexcept>

namespace {

using MessageExport = AbsFormatExport<_MsgMessage>;

bool isPerChat(ExportFormat format)
{
    return format == ExportFormat::Pdf || format == ExportFormat::Html;
}

std::unique_ptr<MessageExport> makeExporter(ExportFormat format, const QString& path)
{
    switch (format) {
    case ExportFormat::Text:
        return std::make_unique<ExportMessagesTxt>(path);
    case ExportFormat::Csv:
        return std::make_unique<ExportMessagesCsv>(path);
    case ExportFormat::Pdf:
        return std::make_unique<ExportSMSPdf>(path);
    case ExportFormat::Html:
        return std::make_unique<ExportSMSHtml>(path);
    }
    throw std::runtime_error("not support export format.");
}

// The files of one run: which exporter is open, and everything the run put on disk.
class ExportOutput
{
public:
    ExportOutput(const QString& path, ExportFormat format)
        : path(path)
        , format(format)
    {
    }

    // Per-chat formats: the folder, unless one is already there. A file standing at its
    // path is never replaced.
    void makeFolder()
    {
        if (!created.makePath(path))
            throw std::runtime_error(QStringLiteral("can not create %1.").arg(path).toStdString());
        names.emplace(QDir(path), format == ExportFormat::Pdf ? QStringLiteral("pdf") : QStringLiteral("html"));
    }

    // The exporter for m, which ends the previous chat's file when m starts another.
    MessageExport& exporterFor(const _MsgMessage& m)
    {
        if (!isPerChat(format)) {
            if (!exporter)
                open(path);
            return *exporter;
        }
        const QString key = chatFileKey(m);
        if (!exporter || key != currentKey) {
            if (exporter)
                endFile();
            currentKey = key;
            if (format == ExportFormat::Html && !resourcesCopied) {
                copyHtmlResources(QDir(path), created);
                resourcesCopied = true;
            }
            open(names->pathFor(m.chat));
        }
        return *exporter;
    }

    void finish()
    {
        if (exporter)
            endFile();
    }

    // Drops the file being written, then takes back what the run put on disk.
    void abandon()
    {
        exporter.reset();
        created.removeAll();
        files.clear();
    }

    QStringList files;

private:
    void open(const QString& file)
    {
        exporter.reset();
        exporter = makeExporter(format, file);
        exporter->begin();
        files.append(file);
    }

    // Only a file put in place is ours to take back: until then the path holds what it
    // held before.
    void endFile()
    {
        exporter->end();
        created.addFile(files.last());
    }

    const QString path;
    const ExportFormat format;
    WrittenPaths created;
    std::optional<ChatFileNames> names;
    std::unique_ptr<MessageExport> exporter;
    QString currentKey;
    bool resourcesCopied = false;
};

} // namespace

ExportSMSThread::ExportSMSThread(QList<_MsgMessage*> messages, const QString& path, ExportFormat format, bool ascending,
                                 WorkerReport* form, QObject* parent)
    : QThread(parent)
    , messages(std::move(messages))
    , path(path)
    , format(format)
    , ascending(ascending)
    , form(form)
{
}

ExportSMSThread::~ExportSMSThread() = default;

void ExportSMSThread::run()
{
    form->postProgress(tr("IDS_EXPORTING_MESSAGES_TO_FILE"), -1, QString());
    ExportOutput output(path, format);
    runReported(
        *form,
        [&] {
            if (isPerChat(format))
                output.makeFolder();
            const QList<_MsgMessage*> ordered = isPerChat(format) ? groupedByChat(messages, ascending) : messages;
            const int total = int(ordered.size());
            int done = 0;
            for (const _MsgMessage* m : ordered) {
                if (form->rejected)
                    throw RunCancelled();
                ++done;
                form->postProgress(QString(), progressPercent(done, total), tr("Messages: %1/%2").arg(done).arg(total));
                output.exporterFor(*m).write(*m);
            }
            output.finish();
            files = output.files;
            written = total;
            form->postSucceed(tr("IDS_SUC_EXPORT_%1_MMS").arg(written));
        },
        [&output] { output.abandon(); });
}
