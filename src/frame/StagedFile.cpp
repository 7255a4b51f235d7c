#include "frame/StagedFile.h"

#include "frame/FrameLog.h"
#include "frame/FullWrite.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QtDebug>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return suffix;
}

} // namespace

StagedFile::StagedFile(const QString& path)
    : path(path)
{
    const QFileInfo target(path);
    auto refuse = [&path](const QString& cause) {
        const QString reason = QStringLiteral("can not create %1. %2").arg(path, cause);
        qCWarning(lcFrame, "%s", qUtf8Printable(reason));
        throw std::runtime_error(reason.toStdString());
    };
    // The rename would put a plain file in the place of a folder, device or FIFO; a link
    // is replaced, and whatever it points to stays as it is.
    if (!target.isSymLink() && target.exists() && !target.isFile())
        refuse(target.isDir() ? systemError(EISDIR) : QStringLiteral("It is not a regular file."));
    for (;;) {
        file.setFileName(path + QStringLiteral(".part-") + randomSuffix());
        if (file.open(QIODevice::Append | QIODevice::NewOnly))
            break;
        if (!QFileInfo(file.fileName()).isSymLink() && !QFileInfo::exists(file.fileName()))
            refuse(file.errorString());
    }
    if (target.isFile() && !target.isSymLink() && !file.setPermissions(target.permissions()))
        qCWarning(lcFrame, "cannot give %s the permissions of %s", qUtf8Printable(file.fileName()),
                  qUtf8Printable(path));
}

StagedFile::~StagedFile()
{
    if (!committed) {
        file.close();
        QFile::remove(file.fileName());
    }
}

void StagedFile::write(const QByteArray& data)
{
    if (!writeFully(file, data) || !flushFully(file))
        fail(file.errorString());
}

void StagedFile::commit()
{
    if (!flushFully(file))
        fail(file.errorString());
    // Without this, a crash soon after the rename can leave an empty file at the path.
    if (::fsync(file.handle()) != 0)
        fail(systemError(errno));
    file.close();
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        fail(systemError(errno));
    committed = true;
}

void StagedFile::fail(const QString& cause) const
{
    const QString reason = QStringLiteral("can not write %1. %2").arg(path, cause);
    qCWarning(lcFrame, "%s (staged in %s)", qUtf8Printable(reason), qUtf8Printable(file.fileName()));
    throw std::runtime_error(reason.toStdString());
}
