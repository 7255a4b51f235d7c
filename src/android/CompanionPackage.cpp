#include "android/CompanionPackage.h"

#include "android/AndroidDevice.h"

#include "frame/DataFolder.h"

#include <QFile>

#include <stdexcept>

QString copyCompanionPackage()
{
    const QString name = QLatin1String(companionPackage) + QStringLiteral(".apk");
    const QString path = appDataDir().absoluteFilePath(name);
    QFile::remove(path);
    // A copy out of the resources is read-only until the owner's bits are set.
    if (!QFile::copy(QStringLiteral(":/res/") + name, path)
        || !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
        throw std::runtime_error(QStringLiteral("Cannot copy the companion app to %1.").arg(path).toStdString());
    return path;
}
