#include "msgdb/SqliteWalFrames.h"

#include "msgdb/MsgDbLog.h"

#include <QFile>
#include <QFileInfo>
#include <QtDebug>

namespace {

constexpr qint64 walHeaderSize = 32;
constexpr qint64 frameHeaderSize = 24;
// The two magic numbers differ in the byte order of the checksums only.
constexpr quint32 walMagic = 0x377f0682;

quint32 bigEndian32(const QByteArray& bytes, qsizetype at)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

bool isPageSize(quint32 size)
{
    return size >= 512 && size <= 65536 && (size & (size - 1)) == 0;
}

} // namespace

SqliteWalFrames readWalFrames(const QString& path)
{
    SqliteWalFrames log;
    if (!QFileInfo::exists(path))
        return log;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcMsgDb, "readWalFrames: cannot open %s: %s", qUtf8Printable(path),
                  qUtf8Printable(file.errorString()));
        return log;
    }
    const QByteArray header = file.read(walHeaderSize);
    if (header.size() < walHeaderSize)
        return log; // a log reset to nothing holds no frames
    const quint32 pageSize = bigEndian32(header, 8);
    if ((bigEndian32(header, 0) & ~1u) != walMagic || !isPageSize(pageSize)) {
        qCWarning(lcMsgDb, "readWalFrames: %s is no write-ahead log", qUtf8Printable(path));
        return log;
    }
    log.pageSize = int(pageSize);
    while (true) {
        const QByteArray frameHeader = file.read(frameHeaderSize);
        const QByteArray page = file.read(pageSize);
        if (frameHeader.size() < frameHeaderSize || page.size() < qsizetype(pageSize))
            break;
        const quint32 pageNo = bigEndian32(frameHeader, 0);
        if (pageNo > 0)
            log.frames.append({pageNo, page});
    }
    return log;
}
