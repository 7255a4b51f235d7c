#include "actions/export/ChatFileNames.h"

#include "frame/FileOps.h"
#include "model/MsgChat.h"

#include <QFileInfo>

namespace {

// Linux refuses names over 255 bytes; this leaves room for " (n)" and the extension.
constexpr qsizetype maxBaseBytes = 200;

// Without the leading dots (and blanks between them) that would hide the file.
QString baseNameOf(const _MsgChat* chat)
{
    if (!chat)
        return QString();
    const QString name = sanitizeFileName(chat->isGroupChat() ? chat->chat_identifier : chat->displayName(true));
    qsizetype start = 0;
    while (start < name.size() && (name.at(start) == QLatin1Char('.') || name.at(start).isSpace()))
        ++start;
    return name.mid(start);
}

// Whole characters (a surrogate pair is one) as long as their UTF-8 form fits.
QString shortened(const QString& name)
{
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < name.size()) {
        const qsizetype step = name.at(end).isHighSurrogate() && end + 1 < name.size() ? 2 : 1;
        bytes += QStringView(name).mid(end, step).toUtf8().size();
        if (bytes > maxBaseBytes)
            break;
        end += step;
    }
    return name.left(end).trimmed();
}

} // namespace

ChatFileNames::ChatFileNames(const QDir& folder, const QString& extension)
    : folder(folder)
    , extension(extension)
{
}

QString ChatFileNames::pathFor(const _MsgChat* chat)
{
    QString base = shortened(baseNameOf(chat));
    if (base.isEmpty())
        base = QStringLiteral("unknown-chat");
    QString name = base + QLatin1Char('.') + extension;
    for (int n = 2; taken.contains(name) || QFileInfo::exists(folder.filePath(name))
                    || QFileInfo(folder.filePath(name)).isSymLink();
         ++n)
        name = base + QStringLiteral(" (") + QString::number(n) + QStringLiteral(").") + extension;
    taken.insert(name);
    return folder.absoluteFilePath(name);
}
