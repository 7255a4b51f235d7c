#pragma once

#include "itunes/BackupFileNode.h"
#include "itunes/KeyBag.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

// Called by BackupManifest::extractFile after every block, with the bytes read so far
// of the stored file's total; user is handed through unchanged.
using ExtractProgressFn = void (*)(qint64 total, qint64 done, void* user);

// One iTunes backup folder: the device values of "Manifest.plist", the file tree of
// "Manifest.mbdb" with a catalogue of well-known files, the keybag of an encrypted
// backup, and the copying of one backed-up file out of the folder.
// Use: loadPlist(), then unlock() for an encrypted backup, then loadMbdb(), then
// extractFile() for each wanted node. Failures throw std::runtime_error with a text for
// the user; the manifest then keeps what it had read.
class BackupManifest : public QObject
{
    Q_OBJECT

public:
    explicit BackupManifest(const QString& folderPath, QObject* parent = nullptr);
    ~BackupManifest() override;

    // "Apple Computer/MobileSync/Backup" below $XDG_DATA_HOME; it may not exist.
    static QDir defaultBackupRoot();
    // The name of this backup's cache folder: MD5 of the folder's absolute path, in hex.
    QString cacheKey() const;

    // Missing or mistyped values leave their fields empty.
    void loadPlist();
    // Builds the tree once; later calls do nothing.
    void loadMbdb();
    // Starts from the stored keybag on every call; false for a wrong password or a
    // damaged keybag (see KeyBag::unlock, whose progress and failures it passes on).
    bool unlock(const QString& password, const DerivationProgress& progress = {});
    // Copies the node's stored file to destPath, decrypting it when the backup is
    // encrypted and the file's key can be unwrapped (else the stored bytes are copied).
    // The copy gets the record's modification time. progress may be null.
    void extractFile(const BackupFileNode* node, const QString& destPath, void* user = nullptr,
                     ExtractProgressFn progress = nullptr);

    QString uniqueDeviceId;
    QString deviceName;
    QDateTime date;
    QString productType;
    QString productVersion;
    QString serialNumber;
    bool isEncrypted = false;
    QByteArray backupKeyBag;
    QString displayName;
    QDir folder;
    BackupFileNode root;
    KeyBag keyBag;

    // The collections and slots point into the tree and own nothing.
    QList<BackupFileNode*> cameraRollPhotos;
    QList<BackupFileNode*> cameraRollVideos;
    QMap<QString, BackupFileNode*> photoThumbnails; // picture base name
    QMap<QString, BackupFileNode*> smsParts; // base name
    QMap<QString, BackupFileNode*> smsAttachments; // folder "/" base name
    QMap<QString, BackupFileNode*> smsFilesByDevicePath; // device path without extension

    BackupFileNode* smsDb = nullptr;
    BackupFileNode* addressBookDb = nullptr;
    BackupFileNode* addressBookImagesDb = nullptr;
    BackupFileNode* notesDb = nullptr;
    BackupFileNode* calendarDb = nullptr;
    BackupFileNode* calendarExtrasDb = nullptr;
    BackupFileNode* recordingsDb = nullptr;
    BackupFileNode* voicemailDb = nullptr;
    BackupFileNode* safariBookmarksDb = nullptr;
    BackupFileNode* callHistoryDb = nullptr;
    BackupFileNode* callHistoryStore = nullptr;

    QMap<QString, BackupFileNode*> recordings; // file name ending in ".m4a"
    QMap<int, BackupFileNode*> voicemails; // voicemail number

private:
    void fileNode(BackupFileNode* node);
    void fileCameraRollNode(BackupFileNode* node, const QString& path);
    void fileHomeNode(BackupFileNode* node, const QString& path);
    void fileMediaNode(BackupFileNode* node, const QString& path);
    void fileSmsNode(BackupFileNode* node, const QString& path);
};
