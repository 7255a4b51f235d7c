#include "Command.h"
#include "PasswordOption.h"

#include "itunes/BackupManifest.h"
#include "itunes/BackupRecovery.h"

#include <QFileInfo>
#include <QJsonObject>


namespace {

const BackupFileNode* findNode(const BackupFileNode& node, const QString& domain, const QString& path)
{
    for (const BackupFileNode* child : node.children) {
        if (child->record.domain.toString() == domain && child->record.path.toString() == path)
            return child;
        if (const BackupFileNode* found = findNode(*child, domain, path))
            return found;
    }
    return nullptr;
}

QJsonValue extract(const QStringList& arguments)
{
    QStringList args = arguments;
    const QString password = takePassword(args);
    if (args.size() != 4)
        throw UsageError("folder, domain, path and output file expected");
    const QString& domain = args.at(1);
    const QString& path = args.at(2);
    const QString& out = args.at(3);

    recoverBackupIfIdle(QDir(args.first()));
    BackupManifest manifest(args.first());
    manifest.loadPlist();
    if (manifest.isEncrypted) {
        if (password.isNull())
            throw std::runtime_error("The backup is encrypted: a password is needed.");
        if (!manifest.unlock(password))
            throw std::runtime_error("Wrong password or damaged keybag.");
    }
    manifest.loadMbdb();
    const BackupFileNode* node = findNode(manifest.root, domain, path);
    if (!node)
        throw std::runtime_error(("The backup holds no file " + domain + " " + path + ".").toStdString());
    manifest.extractFile(node, out);
    return QJsonObject{{"out", out}, {"size", QFileInfo(out).size()}};
}

} // namespace

MSGTOOL_COMMAND("extract", "FOLDER DOMAIN PATH OUT [--password P]", extract);
