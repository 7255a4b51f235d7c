#pragma once

#include <QDir>
#include <QSet>
#include <QString>

struct _MsgChat;

// Names the per-chat files of one export in its folder. A name is never handed out twice
// and never names anything already on disk, so no file of the export replaces another or
// one that was there before ("Bob.pdf", "Bob (2).pdf"...).
class ChatFileNames
{
public:
    // extension without the dot: "pdf", "html".
    ChatFileNames(const QDir& folder, const QString& extension);

    // The absolute path for the next file of chat (null for messages without a chat): a
    // group chat is named by its identifier, any other by its name with ids; characters
    // file systems refuse and leading dots are dropped, an overlong name is shortened, and
    // what is left empty becomes "unknown-chat".
    QString pathFor(const _MsgChat* chat);

private:
    QDir folder;
    QString extension;
    QSet<QString> taken;
};
