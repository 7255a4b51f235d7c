#include "PhoneBackup.h"

#include "DomainMap.h"
#include "MbdbFile.h"
#include "PhoneLink.h"
#include "PlistFiles.h"
#include "ToolError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>

namespace {

constexpr quint16 folderMode = 0x41ED;
constexpr quint16 fileMode = 0x81A4;

QString storedName(const DomainPath& entry)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((entry.domain + QLatin1Char('-') + entry.path).toUtf8(), QCryptographicHash::Sha1)
            .toHex());
}

QByteArray readWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ToolError("Cannot read a file of the device");
    return file.readAll();
}

void writeWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ToolError("Cannot write into the backup folder");
}

class ManifestBuilder
{
public:
    void addFolder(const DomainPath& entry, quint32 mtime)
    {
        if (entry.path.isEmpty() || records.contains(key(entry)))
            return;
        addParents(entry, mtime);
        records.insert(key(entry), MbdbEntry{entry.domain, entry.path, QByteArray(), folderMode, mtime, 0});
    }
    void addFile(const DomainPath& entry, const QByteArray& content, quint32 mtime)
    {
        addParents(entry, mtime);
        records.insert(key(entry),
                       MbdbEntry{entry.domain, entry.path, QCryptographicHash::hash(content, QCryptographicHash::Sha1),
                                 fileMode, mtime, quint64(content.size())});
    }
    QList<MbdbEntry> entries() const { return records.values(); }

private:
    static QString key(const DomainPath& entry) { return entry.domain + QLatin1Char('\n') + entry.path; }
    // The program walks a backup's tree from its root by names: every folder needs a record.
    void addParents(const DomainPath& entry, quint32 mtime)
    {
        const qsizetype slash = entry.path.lastIndexOf(QLatin1Char('/'));
        if (slash > 0)
            addFolder({entry.domain, entry.path.left(slash)}, mtime);
    }

    QMap<QString, MbdbEntry> records;
};

} // namespace

void beginBackup(const QString& backupFolder)
{
    if (!QDir().mkpath(backupFolder))
        throw ToolError("Cannot create the backup folder");
    writeStatusPlist(backupFolder + QStringLiteral("/Status.plist"), "new");
}

void writeBackup(const PhoneLink& phone, const QString& backupFolder, const PhoneValues& values)
{
    const QDir fs(phone.folder() + QStringLiteral("/fs"));
    ManifestBuilder manifest;
    QDirIterator it(fs.absolutePath(), QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.isSymLink())
            continue;
        const DomainPath entry = domainPathOf(fs.relativeFilePath(info.filePath()));
        if (entry.domain.isEmpty())
            continue;
        const quint32 mtime = quint32(info.lastModified().toSecsSinceEpoch());
        if (info.isDir()) {
            manifest.addFolder(entry, mtime);
            continue;
        }
        phone.check();
        const QByteArray content = readWhole(info.filePath());
        writeWhole(backupFolder + QLatin1Char('/') + storedName(entry), content);
        manifest.addFile(entry, content, mtime);
    }
    // A phone that left during the walk showed fewer files, or none.
    phone.check();
    writeWhole(backupFolder + QStringLiteral("/Manifest.mbdb"), encodeMbdb(manifest.entries()));
    writeManifestPlist(backupFolder + QStringLiteral("/Manifest.plist"), values);
    writeInfoPlist(backupFolder + QStringLiteral("/Info.plist"), values);
    writeStatusPlist(backupFolder + QStringLiteral("/Status.plist"), "finished");
}
