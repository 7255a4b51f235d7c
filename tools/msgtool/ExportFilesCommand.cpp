#include "Command.h"
#include "MessageDbAtPath.h"
#include "RunWorkerOrThrow.h"

#include "actions/export/ExportFormat.h"
#include "actions/export/ExportSMSThread.h"
#include "model/MsgChat.h"
#include "model/SafeSort.h"
#include "model/SortPredicates.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

namespace {

// The --format words, in the order of the save dialog's file types.
const QStringList formatWords{"txt", "doc", "csv", "pdf", "html"};

struct Arguments
{
    QString source;
    QString target;
    QString fileType;
    QString chat; // null: every chat
};

Arguments parse(QStringList args)
{
    Arguments parsed;
    QString format;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--format") || arg == QLatin1String("--chat")) {
            if (i + 1 >= args.size())
                throw UsageError((arg + " needs a value").toStdString());
            (arg == QLatin1String("--format") ? format : parsed.chat) = args[++i];
        } else if (parsed.source.isNull()) {
            parsed.source = arg;
        } else if (parsed.target.isNull()) {
            parsed.target = arg;
        } else {
            throw UsageError("expected SRC and DST only");
        }
    }
    if (parsed.target.isNull())
        throw UsageError("expected SRC and DST");
    const qsizetype type = formatWords.indexOf(format);
    if (type < 0)
        throw UsageError("--format must be txt, csv, html, pdf or doc");
    parsed.fileType = exportFileTypes().at(type);
    return parsed;
}

// In the order dump prints them; only the chat's when one is named, as the window's list
// of a chat holds them.
QList<_MsgMessage*> messagesToExport(const MsgSetPtr& set, const QString& chat)
{
    QList<_MsgMessage*> messages = set.messages();
    if (!chat.isNull()) {
        const bool known = std::any_of(set.data()->chats.cbegin(), set.data()->chats.cend(),
                                       [&chat](const _MsgChat* c) { return c->chat_identifier == chat; });
        if (!known)
            throw std::runtime_error(QStringLiteral("no chat %1 in the source").arg(chat).toStdString());
        messages.removeIf([&chat](const _MsgMessage* m) { return !m->chat || m->chat->chat_identifier != chat; });
    }
    safeSort(messages, messageLessThan);
    return messages;
}

QJsonValue exportFiles(const QStringList& args)
{
    const Arguments parsed = parse(args);
    const ExportTarget target = exportTargetFor(QFileInfo(parsed.target).absoluteFilePath(), parsed.fileType);
    const QSharedPointer<AbsIOSMessageDb> db = messageDbAtPath(parsed.source);
    MsgSetPtr set;
    db->messages(set, 0);

    HeadlessReport report;
    ExportSMSThread worker(messagesToExport(set, parsed.chat), target.path, target.format, true, &report, nullptr);
    runWorkerOrThrow(worker, report);
    return QJsonObject{
        {"files", QJsonArray::fromStringList(worker.writtenFiles())},
        {"messages", worker.writtenCount()},
    };
}

} // namespace

MSGTOOL_DRAWING_COMMAND("export-files", "SRC DST --format txt|csv|html|pdf|doc [--chat CHAT_IDENTIFIER]", exportFiles);
