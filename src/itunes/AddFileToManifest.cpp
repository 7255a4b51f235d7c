#include "itunes/AddFileToManifest.h"

#include "frame/RegularFileReader.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr quint16 folderMode = 0x41C0;      // folder, rwx for the owner only
constexpr quint16 regularFileMode = 0x81A4; // regular file, rw-r--r--
constexpr quint32 mobileUserId = 501;
constexpr quint8 defaultProtectionClass = 4;

// Inode numbers are handed out above the largest low 32 bits in use, read as signed.
qint64 largestInode(const MbdbMap& map)
{
    qint64 largest = 0;
    for (const MbdbRecord& r : map)
        largest = std::max<qint64>(largest, qint32(quint32(r.inode)));
    return largest;
}

MbdbRecord newRecord(const QString& domain, const QString& path, quint16 mode, qint64 inode)
{
    MbdbRecord r;
    r.domain = MbdbString::fromText(domain);
    r.path = MbdbString::fromText(path);
    r.mode = mode;
    r.inode = quint32(inode);
    r.userId = mobileUserId;
    r.groupId = mobileUserId;
    r.protectionClass = defaultProtectionClass;
    return r;
}

} // namespace

void addFileToManifest(MbdbMap& map, const QString& filePath, const QString& domain, const QString& relativePath)
{
    qint64 lastInode = largestInode(map);

    const QFileInfo info(filePath);
    const quint32 modified = quint32(info.lastModified().toSecsSinceEpoch());
    // Linux file systems may not keep a birth time; the status change is the nearest.
    const QDateTime born = info.birthTime().isValid() ? info.birthTime() : info.metadataChangeTime();
    const quint32 created = quint32(born.toSecsSinceEpoch());

    QString folder = relativePath;
    const QLatin1Char slash('/');
    for (qsizetype end = folder.lastIndexOf(slash); end > 0; end = folder.lastIndexOf(slash)) {
        folder.truncate(end);
        const QString key = backupFileHash(domain, folder);
        if (map.contains(key))
            break;
        MbdbRecord r = newRecord(domain, folder, folderMode, ++lastInode);
        r.modificationTime = modified;
        r.accessTime = modified;
        r.changeTime = created;
        map.insert(key, r);
    }

    const QString key = backupFileHash(domain, relativePath);
    auto it = map.find(key);
    if (it == map.end()) {
        MbdbRecord r = newRecord(domain, relativePath, regularFileMode, ++lastInode);
        r.size = quint64(info.size());
        it = map.insert(key, r);
    }
    it->digest.setBytes(fileSha1(filePath));
    it->modificationTime = modified;
    it->accessTime = modified;
    it->changeTime = created;
}

QByteArray fileSha1(const QString& path)
{
    QFile file(path);
    try {
        openRegularFileForReading(file);
    } catch (const std::runtime_error&) {
        return QByteArray();
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!hash.addData(&file))
        return QByteArray();
    return hash.result();
}
