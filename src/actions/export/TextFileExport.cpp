#include "actions/export/TextFileExport.h"

namespace {

// In characters: sent in blocks, so a long export is never held whole in memory.
constexpr qsizetype blockSize = 64 * 1024;

} // namespace

TextFileExport::TextFileExport(const QString& path)
    : path(path)
{
}

void TextFileExport::openStream()
{
    file.emplace(path);
    stream.setString(&pending, QIODevice::WriteOnly);
}

void TextFileExport::write(const _MsgMessage& m)
{
    writeMessage(m);
    if (pending.size() >= blockSize)
        send();
}

void TextFileExport::end()
{
    send();
    file->commit();
}

void TextFileExport::send()
{
    file->write(pending.toUtf8());
    pending.clear();
}
