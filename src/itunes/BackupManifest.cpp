#include "itunes/BackupManifest.h"

#include "frame/FullWrite.h"
#include "frame/RegularFileReader.h"
#include "itunes/BackupFileDecryptor.h"
#include "itunes/ITunesLog.h"
#include "itunes/MbdbFile.h"
#include "model/PlistValue.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include <sys/stat.h>

namespace {

constexpr qint64 blockSize = 8192;
const QString applicationsFolder = QStringLiteral("Applications");
const QString appDomainPrefix = QStringLiteral("AppDomain-");
const QString smsFolderPrefix = QStringLiteral("Library/SMS/");
const QString devicePathPrefix = QStringLiteral("/var/mobile/");

// Patterns match the record's path from its first character, ignoring case.
QRegularExpression pathPattern(const char* pattern)
{
    return QRegularExpression(QString::fromLatin1(pattern), QRegularExpression::CaseInsensitiveOption);
}

bool sameText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct HomeSlot
{
    BackupFileNode* BackupManifest::*slot;
    const char* path;
};

// Tried in this order, each only while empty.
constexpr HomeSlot homeSlots[] = {
    {&BackupManifest::smsDb, "Library/SMS/sms.db"},
    {&BackupManifest::addressBookDb, "Library/AddressBook/AddressBook.sqlitedb"},
    {&BackupManifest::addressBookImagesDb, "Library/AddressBook/AddressBookImages.sqlitedb"},
    {&BackupManifest::notesDb, "Library/Notes/notes.sqlite"},
    {&BackupManifest::calendarDb, "Library/Calendar/Calendar.sqlitedb"},
    {&BackupManifest::calendarExtrasDb, "Library/Calendar/Extras.db"},
    {&BackupManifest::voicemailDb, "Library/Voicemail/voicemail.db"},
    {&BackupManifest::safariBookmarksDb, "Library/Safari/Bookmarks.db"},
    {&BackupManifest::callHistoryStore, "Library/CallHistoryDB/CallHistory.storedata"},
};

// The destination names the open source file itself, through any link.
bool isSameFile(const QFile& source, const QString& destPath)
{
    struct stat sourceInfo;
    struct stat destInfo;
    return ::fstat(source.handle(), &sourceInfo) == 0
        && ::stat(QFile::encodeName(destPath).constData(), &destInfo) == 0
        && sourceInfo.st_dev == destInfo.st_dev && sourceInfo.st_ino == destInfo.st_ino;
}

// The path is passed on its own: a file opened by handle has forgotten its name.
[[noreturn]] void throwFileError(const QString& action, const QString& path, const QFileDevice& file)
{
    qCWarning(lcITunes).noquote() << action << path << file.errorString();
    const QString text = QStringLiteral("%1 %2: %3").arg(action, path, file.errorString());
    throw std::runtime_error(text.toStdString());
}

} // namespace

BackupManifest::BackupManifest(const QString& folderPath, QObject* parent)
    : QObject(parent), folder(folderPath), root(nullptr, MbdbRecord(), QString())
{
}

BackupManifest::~BackupManifest() = default;

QDir BackupManifest::defaultBackupRoot()
{
    const QDir base(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QDir(base.filePath(QStringLiteral("Apple Computer/MobileSync/Backup")));
}

QString BackupManifest::cacheKey() const
{
    const QByteArray digest = QCryptographicHash::hash(folder.absolutePath().toUtf8(), QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex());
}

void BackupManifest::loadPlist()
{
    const QString path = folder.absoluteFilePath(QStringLiteral("Manifest.plist"));
    if (!QFileInfo::exists(path))
        throw std::runtime_error(("Cannot find " + path).toStdString());
    QFile file(path);
    openRegularFileForReading(file);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throwFileError(QStringLiteral("Cannot read"), path, file);

    // Taken for a plain backup, a damaged list would hand out encrypted files as they lie.
    const PlistValue plist = PlistValue::fromData(bytes);
    if (!plist.isDict()) {
        qCWarning(lcITunes).noquote() << "Manifest.plist does not parse as a dictionary:" << path;
        throw std::runtime_error(
            QStringLiteral("Cannot read %1: the file is damaged or is no property list.").arg(path).toStdString());
    }
    const PlistValue lockdown = plist.dictItem(QStringLiteral("Lockdown"));
    uniqueDeviceId = lockdown.dictItem(QStringLiteral("UniqueDeviceID")).toString();
    deviceName = lockdown.dictItem(QStringLiteral("DeviceName")).toString();
    date = plist.dictItem(QStringLiteral("Date")).toDateTime();
    productType = lockdown.dictItem(QStringLiteral("ProductType")).toString();
    productVersion = lockdown.dictItem(QStringLiteral("ProductVersion")).toString();
    serialNumber = lockdown.dictItem(QStringLiteral("SerialNumber")).toString();
    isEncrypted = plist.dictItem(QStringLiteral("IsEncrypted")).toBool();
    backupKeyBag = plist.dictItem(QStringLiteral("BackupKeyBag")).toByteArray();

    // A backup folder is usually named after the device identifier; that part shows as
    // the device name. An empty identifier would match everywhere, so it matches nothing.
    QString name = folder.dirName();
    if (!uniqueDeviceId.isEmpty() && name.contains(uniqueDeviceId))
        displayName = name.replace(uniqueDeviceId, deviceName);
    else if (deviceName.isEmpty() && uniqueDeviceId.isEmpty())
        displayName = name;
    else
        displayName = deviceName + QLatin1Char('-') + name;
}

void BackupManifest::loadMbdb()
{
    if (!root.children.isEmpty())
        return;
    QList<MbdbRecord> records = readMbdb(folder.absoluteFilePath(QStringLiteral("Manifest.mbdb"))).values();
    // Records whose texts are equal share one node: the one whose stored path is its text
    // takes it, whatever order the hash gave, so "sms.db" NUL "evil" never shadows sms.db.
    std::sort(records.begin(), records.end(), [](const MbdbRecord& a, const MbdbRecord& b) {
        const QString domainA = a.domain.toString();
        const QString domainB = b.domain.toString();
        if (domainA != domainB || a.path.toString() != b.path.toString() || a.hasPlainPath() == b.hasPlainPath())
            return mbdbRecordLessThan(a, b);
        return a.hasPlainPath();
    });

    QHash<QString, BackupFileNode*> nodesByTreePath;
    for (const MbdbRecord& record : records) {
        const QString domain = record.domain.toString();
        const QString path = record.path.toString();
        // Applications get a folder each below "Applications"; all other domains share one tree.
        QString treePath = path;
        if (domain.startsWith(appDomainPrefix)) {
            if (!nodesByTreePath.contains(applicationsFolder)) {
                auto* applications = new BackupFileNode(&root, MbdbRecord(), applicationsFolder);
                root.children.append(applications);
                nodesByTreePath.insert(applicationsFolder, applications);
            }
            treePath = applicationsFolder + QLatin1Char('/') + domain.mid(appDomainPrefix.size());
            if (!path.isEmpty())
                treePath += QLatin1Char('/') + path;
        }
        const qsizetype slash = treePath.lastIndexOf(QLatin1Char('/'));
        const QString name = treePath.mid(slash + 1);
        if (name.isEmpty() || nodesByTreePath.contains(treePath))
            continue;
        BackupFileNode* parent = slash < 0 ? &root : nodesByTreePath.value(treePath.left(slash), &root);
        auto* node = new BackupFileNode(parent, record, name);
        parent->children.append(node);
        nodesByTreePath.insert(treePath, node);
        fileNode(node);
    }
}

void BackupManifest::fileNode(BackupFileNode* node)
{
    const QString domain = node->record.domain.toString();
    const QString path = node->record.path.toString();
    if (sameText(domain, QStringLiteral("CameraRollDomain")))
        fileCameraRollNode(node, path);
    else if (sameText(domain, QStringLiteral("HomeDomain")))
        fileHomeNode(node, path);
    else if (sameText(domain, QStringLiteral("MediaDomain")))
        fileMediaNode(node, path);
    else if (sameText(domain, QStringLiteral("WirelessDomain")) && !callHistoryDb
             && sameText(path, QStringLiteral("Library/CallHistory/call_history.db")))
        callHistoryDb = node;
}

void BackupManifest::fileCameraRollNode(BackupFileNode* node, const QString& path)
{
    static const QRegularExpression picture = pathPattern(R"(^Media/DCIM/\d+APPLE/[^/\.]+(\.[^/\.]+))");
    static const QRegularExpression metadataThumbnail =
        pathPattern(R"(^Media/PhotoData/MetaData/DCIM/\d+APPLE/([^/\.]+)(\.[^/\.]+))");
    static const QRegularExpression thumbnail =
        pathPattern(R"(^Media/DCIM/\.THMB/[^/]+/\d+APPLE___([^/\.]+)(\.[^/\.]+))");

    QRegularExpressionMatch m = picture.match(path);
    if (m.hasMatch()) {
        const QString extension = m.captured(1).toLower();
        if (extension == QLatin1String(".mov"))
            cameraRollVideos.append(node);
        else if (extension == QLatin1String(".jpg") || extension == QLatin1String(".png"))
            cameraRollPhotos.append(node);
        return;
    }
    m = metadataThumbnail.match(path);
    if (m.hasMatch()) {
        if (m.captured(2).toLower() == QLatin1String(".thm"))
            photoThumbnails.insert(m.captured(1), node);
        return;
    }
    m = thumbnail.match(path);
    if (m.hasMatch()) {
        const QString extension = m.captured(2).toLower();
        if (extension == QLatin1String(".jpg") || extension == QLatin1String(".png"))
            photoThumbnails.insert(m.captured(1), node);
    }
}

void BackupManifest::fileHomeNode(BackupFileNode* node, const QString& path)
{
    for (const HomeSlot& s : homeSlots) {
        if (!(this->*s.slot) && sameText(path, QLatin1String(s.path))) {
            this->*s.slot = node;
            return;
        }
    }
    static const QRegularExpression voicemail = pathPattern(R"(^Library/Voicemail/(\d+)\.amr\z)");
    const QRegularExpressionMatch m = voicemail.match(path);
    if (m.hasMatch())
        voicemails.insert(m.captured(1).toInt(), node);
}

void BackupManifest::fileMediaNode(BackupFileNode* node, const QString& path)
{
    if (!recordingsDb && sameText(path, QStringLiteral("Media/Recordings/Recordings.db"))) {
        recordingsDb = node;
        return;
    }
    if (path.startsWith(smsFolderPrefix, Qt::CaseInsensitive)) {
        if (!node->record.isDir())
            fileSmsNode(node, path);
        return;
    }
    static const QRegularExpression recording = pathPattern(R"(^Media/Recordings/([^/.]+\.m4a)\z)");
    const QRegularExpressionMatch m = recording.match(path);
    if (m.hasMatch() && !node->record.isDir())
        recordings.insert(m.captured(1), node);
}

void BackupManifest::fileSmsNode(BackupFileNode* node, const QString& path)
{
    // Messages name their files by device path without extension; a preview picture
    // answers to the name of the preview as well.
    const QString preview = QStringLiteral("-preview");
    const qsizetype previewAt = path.lastIndexOf(preview);
    if (previewAt > 0) {
        const QString stem = devicePathPrefix + path.left(previewAt);
        smsFilesByDevicePath.insert(stem + preview, node);
        if (node->name.contains(QLatin1String("-preview-left"), Qt::CaseInsensitive))
            smsFilesByDevicePath.insert(stem + QLatin1String("-preview-left"), node);
    } else {
        const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
        smsFilesByDevicePath.insert(devicePathPrefix + (dot > 0 ? path.left(dot) : path), node);
    }

    static const QRegularExpression part = pathPattern(R"(^Library/SMS/Parts/[^/]+/[^/]+/([^/]+)\z)");
    static const QRegularExpression attachment = pathPattern(R"(^Library/SMS/Attachments/([^/]+)/([^/]+)\z)");
    QRegularExpressionMatch m = part.match(path);
    if (m.hasMatch()) {
        smsParts.insert(QFileInfo(m.captured(1)).baseName(), node);
        return;
    }
    m = attachment.match(path);
    if (m.hasMatch())
        smsAttachments.insert(m.captured(1) + QLatin1Char('/') + QFileInfo(m.captured(2)).baseName(), node);
}

bool BackupManifest::unlock(const QString& password, const DerivationProgress& progress)
{
    keyBag = KeyBag::parse(backupKeyBag);
    return keyBag.unlock(password.toUtf8(), progress);
}

void BackupManifest::extractFile(const BackupFileNode* node, const QString& destPath, void* user,
                                 ExtractProgressFn progress)
{
    const MbdbRecord& record = node->record;
    const QString fileName = record.fileHash();
    const QString sourcePath = folder.absoluteFilePath(fileName);
    QFile source(sourcePath);
    openRegularFileForReading(source);
    if (isSameFile(source, destPath)) {
        qCWarning(lcITunes).noquote() << "extract onto its own source refused:" << destPath;
        throw std::runtime_error(
            QStringLiteral("Cannot extract %1 onto the backup's own file.").arg(destPath).toStdString());
    }
    // Written beside the destination and renamed into place: a failure leaves whatever
    // the destination held before, and removes only the temporary file. The rename would
    // replace a device or FIFO standing at the destination (or at the end of a link to
    // it) with a plain file, so only a regular file or no file at all may be there.
    const QFileInfo destInfo(destPath);
    if (destInfo.exists() && !destInfo.isFile())
        throw std::runtime_error(
            QStringLiteral("Cannot extract to %1: it is not a regular file.").arg(destPath).toStdString());
    QSaveFile dest(destPath);
    if (!dest.open(QIODevice::WriteOnly))
        throwFileError(QStringLiteral("Cannot create"), destPath, dest);
    // Decrypted or not, a backup's files are private messages: the copy is the user's alone,
    // whatever mode an earlier copy at the destination had.
    if (!dest.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
        throwFileError(QStringLiteral("Cannot create"), destPath, dest);

    const QByteArray fileKey =
        isEncrypted ? keyBag.unwrapFileKey(record.protectionClass, record.encryptionKey.bytes.mid(4)) : QByteArray();
    std::unique_ptr<BackupFileDecryptor> decryptor;
    if (!fileKey.isEmpty())
        decryptor = std::make_unique<BackupFileDecryptor>(fileKey, record.size, fileName);

    const qint64 total = source.size();
    qint64 done = 0;
    QByteArray block(blockSize, Qt::Uninitialized);
    for (;;) {
        const qint64 n = source.read(block.data(), blockSize);
        if (n < 0)
            throwFileError(QStringLiteral("Cannot read"), sourcePath, source);
        if (n == 0)
            break;
        done += n;
        const QByteArray data = decryptor ? decryptor->decrypt(block.left(n)) : block.left(n);
        if (!writeFully(dest, data))
            throwFileError(QStringLiteral("Cannot write"), destPath, dest);
        if (progress)
            progress(total, done, user);
    }
    if (!flushFully(dest))
        throwFileError(QStringLiteral("Cannot write"), destPath, dest);
    // A file whose times cannot be set is still a good copy.
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(record.modificationTime);
    dest.setFileTime(modified, QFileDevice::FileAccessTime);
    dest.setFileTime(modified, QFileDevice::FileModificationTime);
    if (!dest.commit())
        throwFileError(QStringLiteral("Cannot write"), destPath, dest);
}
