#include "PhoneRestore.h"

#include "DomainMap.h"
#include "MbdbFile.h"
#include "PhoneLink.h"
#include "PlistFiles.h"
#include "ToolError.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QByteArray readWhole(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ToolError("A file of the backup is missing");
    return file.readAll();
}

bool isInsideDomain(const QString& path)
{
    return !path.startsWith(QLatin1Char('/')) && !path.split(QLatin1Char('/')).contains(QStringLiteral(".."));
}

QString storedPath(const QString& backupFolder, const MbdbEntry& entry)
{
    const QByteArray name = (entry.domain + QLatin1Char('-') + entry.path).toUtf8();
    return backupFolder + QLatin1Char('/')
           + QString::fromLatin1(QCryptographicHash::hash(name, QCryptographicHash::Sha1).toHex());
}

void writeFile(const QString& path, const QByteArray& bytes, quint32 mtime)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ToolError("Cannot write a file onto the device");
    QFile written(path);
    if (written.open(QIODevice::ReadOnly))
        written.setFileTime(QDateTime::fromSecsSinceEpoch(mtime), QFileDevice::FileModificationTime);
}

} // namespace

void restoreBackup(const QString& backupFolder, const PhoneLink& phone)
{
    for (const char* name : {"Manifest.mbdb", "Manifest.plist", "Status.plist"}) {
        if (!QFileInfo::exists(backupFolder + QLatin1Char('/') + QLatin1String(name)))
            throw ToolError("The backup has no " + std::string(name));
    }
    if (snapshotState(backupFolder + QStringLiteral("/Status.plist")) != QLatin1String("finished"))
        throw ToolError("The backup is not complete");
    const QList<MbdbEntry> entries = decodeMbdb(readWhole(backupFolder + QStringLiteral("/Manifest.mbdb")));

    // The size is not compared: the program keeps a stale size on a record it refreshes.
    for (const MbdbEntry& entry : entries) {
        if (!isInsideDomain(entry.path))
            throw ToolError("The backup holds a path outside its domain");
        if (!entry.isFile())
            continue;
        const QByteArray content = readWhole(storedPath(backupFolder, entry));
        if (!entry.digest.isEmpty() && QCryptographicHash::hash(content, QCryptographicHash::Sha1) != entry.digest)
            throw ToolError("A file of the backup does not match its digest");
    }

    const QString fs = phone.heldFiles() + QLatin1Char('/');
    for (const MbdbEntry& entry : entries) {
        const QString phonePath = phonePathOf({entry.domain, entry.path});
        if (phonePath.isEmpty())
            continue;
        phone.check();
        if (entry.isFolder())
            QDir().mkpath(fs + phonePath);
        else if (entry.isFile())
            writeFile(fs + phonePath, readWhole(storedPath(backupFolder, entry)), entry.mtime);
    }
}
